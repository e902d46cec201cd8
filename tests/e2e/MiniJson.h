// A small JSON reader for the end-to-end tests: enough to check that the command's --json output
// parses and to pick fields out of it.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervano::test {

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& name) const {
        static const Json missing;
        auto it = fields.find(name);
        return it == fields.end() ? missing : it->second;
    }
    long Int() const { return static_cast<long>(number); }
};

class JsonReader {
public:
    // The value of the whole text, or nullopt when it is not exactly one JSON value.
    static std::optional<Json> Parse(std::string_view text) {
        JsonReader reader(text);
        Json value;
        if (!reader.Value(value)) return std::nullopt;
        reader.Blanks();
        if (reader.pos_ != text.size()) return std::nullopt;
        return value;
    }

private:
    explicit JsonReader(std::string_view text) : s_(text) {}
    void Blanks() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t')) ++pos_;
    }
    bool Eat(char c) {
        Blanks();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    bool String(std::string& out) {
        if (!Eat('"')) return false;
        while (pos_ < s_.size()) {
            const char c = s_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= s_.size()) return false;
            const char e = s_[pos_++];
            switch (e) {
                case '"': case '\\': case '/': out.push_back(e); break;
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                case 't': out.push_back('\t'); break;
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'u': {
                    if (pos_ + 4 > s_.size()) return false;
                    const long code = std::strtol(std::string(s_.substr(pos_, 4)).c_str(), nullptr, 16);
                    pos_ += 4;
                    if (code >= 0x80) return false;  // the command escapes only control characters
                    out.push_back(static_cast<char>(code));
                    break;
                }
                default: return false;
            }
        }
        return false;
    }
    bool Value(Json& v) {
        Blanks();
        if (pos_ >= s_.size()) return false;
        const char c = s_[pos_];
        if (c == '"') {
            v.kind = Json::Kind::String;
            return String(v.text);
        }
        if (c == '{') {
            ++pos_;
            v.kind = Json::Kind::Object;
            if (Eat('}')) return true;
            do {
                std::string name;
                Blanks();
                if (!String(name) || !Eat(':')) return false;
                Json field;
                if (!Value(field)) return false;
                v.fields[name] = std::move(field);
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            ++pos_;
            v.kind = Json::Kind::Array;
            if (Eat(']')) return true;
            do {
                Json item;
                if (!Value(item)) return false;
                v.items.push_back(std::move(item));
            } while (Eat(','));
            return Eat(']');
        }
        if (Word("true")) { v.kind = Json::Kind::Bool; v.boolean = true; return true; }
        if (Word("false")) { v.kind = Json::Kind::Bool; return true; }
        if (Word("null")) return true;
        const char* start = s_.data() + pos_;
        char* end = nullptr;
        const std::string number(start, std::min<size_t>(s_.size() - pos_, 32));
        v.number = std::strtod(number.c_str(), &end);
        if (end == number.c_str()) return false;
        pos_ += static_cast<size_t>(end - number.c_str());
        v.kind = Json::Kind::Number;
        return true;
    }

    std::string_view s_;
    size_t pos_ = 0;
};

}  // namespace tervano::test
