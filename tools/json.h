#pragma once
// A minimal streaming JSON writer for the --json outputs: commas and
// escaping are handled here so the commands only say what they print.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace json {

class Writer {
public:
    explicit Writer(FILE* out) : out_(out) {}

    Writer& beginObject() { open('{'); return *this; }
    Writer& endObject() { close('}'); return *this; }
    Writer& beginArray() { open('['); return *this; }
    Writer& endArray() { close(']'); return *this; }

    Writer& key(std::string_view k) {
        separate();
        string(k);
        std::fputc(':', out_);
        afterKey_ = true;
        return *this;
    }
    Writer& value(std::string_view s) { separate(); string(s); return *this; }
    Writer& value(const std::string& s) { return value(std::string_view(s)); }
    Writer& value(const char* s) { return value(std::string_view(s ? s : "")); }
    Writer& value(bool b) { separate(); std::fputs(b ? "true" : "false", out_); return *this; }
    Writer& value(double d) { separate(); std::fprintf(out_, "%.6g", d); return *this; }
    template <typename T>
        requires std::is_integral_v<T>
    Writer& value(T v) {
        separate();
        if constexpr (std::is_signed_v<T>)
            std::fprintf(out_, "%lld", static_cast<long long>(v));
        else
            std::fprintf(out_, "%llu", static_cast<unsigned long long>(v));
        return *this;
    }
    Writer& null() { separate(); std::fputs("null", out_); return *this; }

private:
    void open(char c) {
        separate();
        std::fputc(c, out_);
        first_.push_back(true);
    }
    void close(char c) {
        std::fputc(c, out_);
        if (!first_.empty()) first_.pop_back();
    }
    void separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (!first_.empty()) {
            if (!first_.back()) std::fputc(',', out_);
            first_.back() = false;
        }
    }
    // Length of the well-formed UTF-8 sequence at s[i], 0 when there is none.
    static size_t utf8Length(std::string_view s, size_t i) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const size_t len = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
        if (len == 0 || b >= 0xF5 || s.size() - i < len) return 0;
        uint32_t cp = b & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) {
            const unsigned char c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return 0;
            cp = cp << 6 | (c & 0x3F);
        }
        const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        return overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 0 : len;
    }
    // Texts are UTF-8 and pass through; a byte that is not UTF-8 cannot be
    // said in JSON and becomes the replacement character.
    void string(std::string_view s) {
        std::fputc('"', out_);
        for (size_t i = 0; i < s.size();) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c == '"' || c == '\\') {
                std::fputc('\\', out_);
                std::fputc(c, out_);
            } else if (c < 0x20) {
                std::fprintf(out_, "\\u%04x", c);
            } else if (c >= 0x80) {
                const size_t len = utf8Length(s, i);
                if (len == 0) {
                    std::fputs("\\ufffd", out_);
                } else {
                    std::fwrite(s.data() + i, 1, len, out_);
                    i += len;
                    continue;
                }
            } else {
                std::fputc(c, out_);
            }
            ++i;
        }
        std::fputc('"', out_);
    }

    FILE* out_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};

}  // namespace json
