#pragma once
// Window messages registered by name. Every process that registers the same name (letter case
// does not matter) gets the same number, from the range 0xC000 to 0xFFFF. On Windows the window
// system keeps the table; elsewhere a process-wide table stands in for it.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// A table of registered message names. Numbers are handed out from 0xC000 upwards in order of
// first registration; a name registered again gets its first number back.
class TMessageNameTable {
public:
    static constexpr uint32_t FirstMessage = 0xC000;
    static constexpr uint32_t LastMessage = 0xFFFF;

    // Raises Exception for an empty name and when all numbers are in use.
    uint32_t Register(std::string_view name);

private:
    std::mutex Lock;
    std::unordered_map<std::string, uint32_t> Numbers; // by upper-cased name
};

// Registers name with the window system and returns its message number (never 0). Raises
// Exception when the name is empty or the window system refuses it.
uint32_t RegisterWindowMessageName(std::string_view name);
