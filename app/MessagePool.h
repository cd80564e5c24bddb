#pragma once
// The window message "QV_MESSAGE_POOL" that the vendor's programs share. This program only
// registers it; nothing sends or receives it.

#include <cstdint>
#include <string_view>

inline constexpr std::string_view MessagePoolName = "QV_MESSAGE_POOL";

// Number of the registered message; 0 until RegisterMessagePool has run.
extern uint32_t MessagePoolMessage;

// Registers the message and keeps its number. Raises Exception when registration fails.
void RegisterMessagePool();
