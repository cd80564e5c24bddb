#include "platform/WindowMessages.h"

#include "platform/AsciiText.h"
#include "platform/Exceptions.h"

#ifdef _WIN32
#include "platform/WideText.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

uint32_t TMessageNameTable::Register(std::string_view name) {
    if (name.empty())
        throw Exception("A window message needs a name");
    const std::string key = AsciiText::UpperCaseAscii(name);
    const std::lock_guard<std::mutex> guard(Lock);
    if (const auto found = Numbers.find(key); found != Numbers.end())
        return found->second;
    if (Numbers.size() > LastMessage - FirstMessage)
        throw Exception("Cannot register the window message \"" + std::string(name) +
                        "\": no message numbers left");
    const auto number = FirstMessage + static_cast<uint32_t>(Numbers.size());
    Numbers.emplace(key, number);
    return number;
}

uint32_t RegisterWindowMessageName(std::string_view name) {
#ifdef _WIN32
    if (name.empty())
        throw Exception("A window message needs a name");
    // The wide form: the name is UTF-8, which the ANSI form would read in the local code page.
    const UINT message = RegisterWindowMessageW(Utf8ToWide(name).c_str());
    if (message == 0)
        throw Exception("Cannot register the window message \"" + std::string(name) + "\"");
    return message;
#else
    static TMessageNameTable table;
    return table.Register(name);
#endif
}
