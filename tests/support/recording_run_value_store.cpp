#include "tests/support/recording_run_value_store.h"

namespace tarvento::testing {

std::optional<std::string> RecordingRunValueStore::Value(const std::string& keyPath,
                                                         const std::string& valueName) const {
    auto key = keys_.find(keyPath);
    if (key == keys_.end()) return std::nullopt;
    auto value = key->second.find(valueName);
    if (value == key->second.end()) return std::nullopt;
    return value->second;
}

std::vector<std::string> RecordingRunValueStore::Changes() const {
    std::vector<std::string> out;
    for (const std::string& c : calls_) {
        if (c.starts_with("CreateKey") || c.starts_with("SetValue") ||
            c.starts_with("DeleteValue"))
            out.push_back(c);
    }
    return out;
}

bool RecordingRunValueStore::OpenKey(const std::string& keyPath) {
    calls_.push_back("OpenKey " + keyPath);
    if (failOpen) return false;
    open_ = keyPath;
    return true;
}

bool RecordingRunValueStore::QueryValue(const std::string& valueName, std::string& text,
                                        std::size_t capacity) {
    calls_.push_back("QueryValue " + valueName);
    if (failQuery || !open_) return false;
    const std::optional<std::string> v = Value(*open_, valueName);
    if (!v) return false;
    text = v->substr(0, capacity);
    return true;
}

bool RecordingRunValueStore::CreateKey(const std::string& keyPath) {
    calls_.push_back("CreateKey " + keyPath);
    if (failCreate) return false;
    keys_[keyPath];
    open_ = keyPath;
    return true;
}

bool RecordingRunValueStore::SetValue(const std::string& valueName, const std::string& text) {
    calls_.push_back("SetValue " + valueName + " " + text);
    if (failSet || !open_) return false;
    keys_[*open_][valueName] = text;
    return true;
}

bool RecordingRunValueStore::DeleteValue(const std::string& valueName) {
    calls_.push_back("DeleteValue " + valueName);
    if (failDelete || !open_) return false;
    keys_[*open_].erase(valueName);
    return true;
}

void RecordingRunValueStore::CloseKey() {
    calls_.push_back("CloseKey");
    open_.reset();
}

}  // namespace tarvento::testing
