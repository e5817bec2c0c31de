#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "autostart/run_value_store.h"

namespace tarvento::testing {

// A Run-value store in memory that logs every call, in order, as "<Call> <argument>",
// and fails the calls a test asks it to fail.
class RecordingRunValueStore : public RunValueStore {
public:
    bool failOpen = false;
    bool failQuery = false;
    bool failCreate = false;
    bool failSet = false;
    bool failDelete = false;

    // Stores `text` as the value of `valueName` under `keyPath`, as if written earlier.
    void Put(const std::string& keyPath, const std::string& valueName, const std::string& text) {
        keys_[keyPath][valueName] = text;
    }
    std::optional<std::string> Value(const std::string& keyPath,
                                     const std::string& valueName) const;
    // The entry under the Run key, if any.
    std::optional<std::string> RunValue() const { return Value(kRunKeyPath, kRunValueName); }

    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // The calls that change what is stored: CreateKey, SetValue, DeleteValue.
    std::vector<std::string> Changes() const;

    bool OpenKey(const std::string& keyPath) override;
    bool QueryValue(const std::string& valueName, std::string& text,
                    std::size_t capacity) override;
    bool CreateKey(const std::string& keyPath) override;
    bool SetValue(const std::string& valueName, const std::string& text) override;
    bool DeleteValue(const std::string& valueName) override;
    void CloseKey() override;

private:
    std::map<std::string, std::map<std::string, std::string>> keys_;
    std::optional<std::string> open_;  // the key opened last, until closed
    std::vector<std::string> calls_;
};

}  // namespace tarvento::testing
