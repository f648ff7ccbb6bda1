#include "platform/serial/NetworkName.h"

#include "platform/text/AsciiText.h"

namespace {

struct TScheme {
    const char* Prefix;
    TNetworkKind Kind;
};
constexpr TScheme Schemes[] = {{"rfc2217://", nkRfc2217}, {"socket://", nkSocket}};

TNetworkKind KindOf(const std::string& Name, std::size_t& Skip) {
    for (const auto& S : Schemes) {
        const std::string Prefix = S.Prefix;
        if (Name.size() >= Prefix.size() && SameText(Name.substr(0, Prefix.size()), Prefix)) {
            Skip = Prefix.size();
            return S.Kind;
        }
    }
    return nkNone;
}

bool HostCharOk(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-' ||
           C == '.' || C == '_';
}

} // namespace

bool IsNetworkPortName(const std::string& Name) {
    std::size_t Skip = 0;
    return KindOf(Name, Skip) != nkNone;
}

bool ParseNetworkPortName(const std::string& Name, TNetworkAddress& Address) {
    std::size_t At = 0;
    TNetworkAddress A;
    A.Kind = KindOf(Name, At);
    if (A.Kind == nkNone)
        return false;
    std::size_t Colon;
    if (At < Name.size() && Name[At] == '[') {
        const std::size_t Close = Name.find(']', At);
        if (Close == std::string::npos || Close + 1 >= Name.size() || Name[Close + 1] != ':')
            return false;
        A.Host = Name.substr(At + 1, Close - At - 1);
        for (char C : A.Host)
            if (!(HexDigitValue(C) >= 0 || C == ':' || C == '.'))
                return false;
        Colon = Close + 1;
    } else {
        Colon = Name.rfind(':');
        if (Colon == std::string::npos || Colon < At)
            return false;
        A.Host = Name.substr(At, Colon - At);
        for (char C : A.Host)
            if (!HostCharOk(C))
                return false;
    }
    if (A.Host.empty() || A.Host.size() > 253)
        return false;
    const std::string Digits = Name.substr(Colon + 1);
    if (Digits.empty() || Digits.size() > 5)
        return false;
    std::uint32_t Port = 0;
    for (char C : Digits) {
        if (C < '0' || C > '9')
            return false;
        Port = Port * 10 + static_cast<std::uint32_t>(C - '0');
    }
    if (Port == 0 || Port > 65535)
        return false;
    A.Port = static_cast<std::uint16_t>(Port);
    Address = A;
    return true;
}

std::string NetworkEndpointText(const TNetworkAddress& Address) {
    return Address.Host + " port " + std::to_string(Address.Port);
}
