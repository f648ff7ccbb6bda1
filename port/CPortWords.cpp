#include "port/CPortWords.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/serial/DeviceFile.h"
#include "platform/serial/DeviceName.h"
#include "platform/serial/NetworkName.h"
#include "platform/serial/SerialDriver.h"
#include "platform/serial/VirtualBackend.h"

namespace {

// The device's file; "" for a virtual device, which has none.
std::string FileOf(const std::string& PortName) {
    bool Known = false;
    VirtualDevicePresent(SerialDeviceName(PortName), Known);
    return Known ? std::string() : SerialDevicePath(PortName);
}

// ": no such file or directory": the system's text as the end of a sentence.
std::string Because(std::int32_t Errno) {
    if (Errno == 0)
        return {};
    char Buffer[256];
    std::string Text = strerror_r(Errno, Buffer, sizeof Buffer);
    if (!Text.empty())
        Text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(Text[0])));
    return ": " + Text;
}

std::string InUse(const std::string& Port, const std::string& File) {
    TDeviceHolder Holder;
    if (File.empty() || !FindDeviceHolder(File, Holder))
        return Port + " is in use by another program";
    const std::string Name = Holder.Command.empty() ? "" : Holder.Command + ", ";
    return Port + " is in use by another program (" + Name + "process " +
           std::to_string(Holder.Pid) + ")";
}

std::string NoPermission(const std::string& Port, const std::string& File) {
    const std::string Denied = Port + ": permission denied; ";
    TDeviceAccess Access;
    if (File.empty() || !GetDeviceAccess(File, Access))
        return Denied + "membership of the 'dialout' group is the usual cure";
    if (!Access.GroupMayOpen)
        return Denied + "only its owner (" + Access.Owner + ") may open it";
    return Denied + "membership of the '" + Access.Group + "' group is the usual cure";
}

// A serial line on another machine: what went wrong with the connection, naming host and port.
std::string NetworkProblem(const std::string& Name, std::int32_t Errno,
                           TPortProblemContext Context) {
    TNetworkAddress Address;
    if (!ParseNetworkPortName(Name, Address))
        return Name + " is not a network port name; write rfc2217://HOST:PORT or "
                      "socket://HOST:PORT";
    const std::string At = NetworkEndpointText(Address);
    if (Context == ppLost || (Context != ppOpening && IsDeviceLostError(Errno))) {
        if (Errno == 0 || Errno == EIO)
            return Name + " disconnected: " + At + " closed the connection";
        if (Errno == ETIMEDOUT)
            return Name + " disconnected: " + At + " stopped answering";
        return Name + " disconnected: the connection to " + At + " broke" + Because(Errno);
    }
    switch (Context) {
    case ppOpening: {
        const std::string Failed = Name + " could not be opened: ";
        switch (Errno) {
        case ENXIO:
            return Failed + "the host name " + Address.Host + " does not resolve";
        case ECONNREFUSED:
            return Failed + "nothing accepts connections at " + At;
        case ETIMEDOUT:
            return Failed + At + " does not answer";
        case EPROTONOSUPPORT:
            return Failed + At + " does not serve RFC 2217 (telnet com port control)";
        case EPROTO:
            return Failed + At + " did not report the line's settings";
        default:
            return Failed + "no connection to " + At + Because(Errno);
        }
    }
    case ppSettings:
        if (Errno == EPROTO)
            return Name + ": " + At + " did not answer the new settings";
        return Name + " refuses these settings";
    default:
        return "Sending or receiving on " + Name + " failed" + Because(Errno);
    }
}

} // namespace

std::string PortProblemInWords(const std::string& PortName, std::int32_t Errno,
                               TPortProblemContext Context) {
    if (IsNetworkPortName(SerialDeviceName(PortName)))
        return NetworkProblem(SerialDeviceName(PortName), Errno, Context);
    const std::string File = FileOf(PortName);
    std::string Port = File.empty() ? SerialDeviceName(PortName) : File;
    if (Port.empty())
        Port = "(no port)";
    // A device gone while in use; at the open, ENXIO and ENODEV say it was never there.
    // (The connection errors of network ports are not a device's.)
    const bool Gone = Errno == EIO || Errno == ENXIO || Errno == ENODEV;
    if (Context == ppLost || Errno == EIO || (Context != ppOpening && Gone))
        return Port + " disconnected: the device was removed";
    switch (Errno) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENAMETOOLONG:
        return Port + ": no such device";
    case EACCES:
        return NoPermission(Port, File);
    case ENOTTY:
    case EISDIR:
        return Port + " is not a serial port";
    default:
        break;
    }
    switch (Context) {
    case ppOpening:
        if (Errno == EBUSY || Errno == EAGAIN)
            return InUse(Port, File);
        if (Errno == EPERM)
            return NoPermission(Port, File);
        return Port + " could not be opened" + Because(Errno);
    case ppSettings:
        return Port + " refuses these settings";
    default:
        return "Sending or receiving on " + Port + " failed" + Because(Errno);
    }
}

std::string PortFailureInWords(const std::string& PortName, const EComPort& E) {
    TPortProblemContext Context = ppTransfer;
    switch (E.GetCode()) {
    case CError_OpenFailed:
        Context = ppOpening;
        break;
    case CError_SetStateFailed:
    case CError_SetTimeoutsFailed:
    case CError_SetupComFailed:
        Context = ppSettings;
        break;
    default:
        break;
    }
    return PortProblemInWords(PortName, E.GetErrno(), Context);
}
