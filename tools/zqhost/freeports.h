#pragma once
// Free UDP ports, found by binding them: the demo and the tests pick their
// ports at run time, so that two runs never collide, and the commands check
// their own ports before a stack finds them taken.
#include <cstdint>
#include <string>
#include <vector>

// An even port P such that P and P + 1 can be bound on every one of the
// (numeric IPv4 or IPv6) addresses right now, other than `taken`. 0 when no such pair
// was found. (The stacks of one process share their sockets by port number,
// whatever the address: two stacks of one process need different pairs.)
uint16_t FindFreePortPair(const std::vector<std::string>& addresses, uint16_t taken = 0);

// Why `port` cannot be bound on `address` (the system's reason); empty when
// it can.
std::string PortProblem(const std::string& address, uint16_t port);

// Throws std::runtime_error naming `option` when one of `ports` cannot be
// bound on `address` (a stack would fail to start on it).
void RequireFreePorts(const std::string& option, const std::string& address, const std::vector<uint16_t>& ports);
