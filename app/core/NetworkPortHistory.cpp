#include "app/core/NetworkPortHistory.h"

#include <algorithm>

#include "platform/registry/Registry.h"
#include "platform/serial/NetworkName.h"

namespace {

std::string ValueName(std::size_t Index) {
    return "Port" + std::to_string(Index + 1);
}

bool Wanted(const std::string& Name) {
    TNetworkAddress Address;
    return ParseNetworkPortName(Name, Address);
}

} // namespace

TNetworkPortHistory::TNetworkPortHistory(std::string Key) : FKey(std::move(Key)) {
    try {
        TRegistry Registry(HKEY_CURRENT_USER);
        if (!Registry.OpenKeyReadOnly(FKey))
            return;
        for (std::size_t I = 0; I < MaxPorts; ++I) {
            if (!Registry.ValueExists(ValueName(I)))
                continue;
            const std::string Name = Registry.ReadString(ValueName(I));
            if (Wanted(Name) && std::find(FNames.begin(), FNames.end(), Name) == FNames.end())
                FNames.push_back(Name);
        }
    } catch (const std::exception&) {
        // A damaged hive offers nothing more; the ports themselves still open by name.
        FNames.clear();
    }
}

bool TNetworkPortHistory::Remember(const std::string& Name) {
    if (!Wanted(Name) || (!FNames.empty() && FNames.front() == Name))
        return false;
    FNames.erase(std::remove(FNames.begin(), FNames.end(), Name), FNames.end());
    FNames.insert(FNames.begin(), Name);
    if (FNames.size() > MaxPorts)
        FNames.resize(MaxPorts);
    return true;
}

bool TNetworkPortHistory::Store() const {
    try {
        TRegistry Registry(HKEY_CURRENT_USER);
        Registry.BeginBatch();
        if (!Registry.OpenKey(FKey, true))
            return false;
        for (std::size_t I = 0; I < MaxPorts; ++I) {
            if (I < FNames.size())
                Registry.WriteString(ValueName(I), FNames[I]);
            else if (Registry.ValueExists(ValueName(I)))
                Registry.DeleteValue(ValueName(I));
        }
        Registry.CommitBatch();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
