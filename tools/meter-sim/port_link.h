#pragma once
// A symbolic link to the simulator's port, made at start and removed at
// exit when it still points there.

#include <string>

class PortLink {
public:
    PortLink() = default;
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Makes `link` point at `target`, replacing an existing symbolic link;
    // false with a message when `link` exists as something else or cannot
    // be made.
    bool Make(const std::string& link, const std::string& target, std::string& error);
    void Remove();

private:
    std::string link_;
    std::string target_;
};
