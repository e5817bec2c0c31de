#pragma once

#include <string>

namespace tarvento {

// Where the autostart entry lives, shaped like the registry calls the entry is written
// and read with, so their order stays visible and a recording fake can stand in.
// One key at a time: every operation works on the key opened last.
class RunValueStore {
public:
    virtual ~RunValueStore() = default;

    // Opens the key for reading. A key that does not exist yet opens as an empty one.
    virtual bool OpenKey(const std::string& keyPath) = 0;
    // Reads the value's text, at most `capacity` bytes of it. False (and `text`
    // untouched) when there is no such value or it cannot be read.
    virtual bool QueryValue(const std::string& valueName, std::string& text,
                            std::size_t capacity) = 0;
    // Creates the key when missing and opens it for writing.
    virtual bool CreateKey(const std::string& keyPath) = 0;
    // Replaces the value whole: afterwards it holds the old text or the new, never part.
    virtual bool SetValue(const std::string& valueName, const std::string& text) = 0;
    // Afterwards the value is gone; true also when there was none.
    virtual bool DeleteValue(const std::string& valueName) = 0;
    virtual void CloseKey() = 0;
    // Where the value read last lives, for reports; empty when none was found.
    virtual std::string ValueLocation() const { return {}; }
};

inline constexpr const char* kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "Tarvo";

}  // namespace tarvento
