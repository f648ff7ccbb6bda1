// The network ports (rfc2217://, socket://) the user has opened, newest first, kept under a
// registry key as values Port1..PortN, so that the port boxes can offer them beside the local
// devices, whose list cannot know of them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class TNetworkPortHistory {
public:
    static constexpr std::size_t MaxPorts = 10;

    // Reads the list kept under Key (a path in the current user's hive); a missing or unreadable
    // key is an empty list, values that are not network port names are left out.
    explicit TNetworkPortHistory(std::string Key);

    // Puts Name first when it is a network port name; true when the list changed.
    bool Remember(const std::string& Name);
    // Writes the list back; false (nothing raised) when the hive cannot be written.
    bool Store() const;
    const std::vector<std::string>& Names() const { return FNames; }

private:
    std::string FKey;
    std::vector<std::string> FNames;
};
