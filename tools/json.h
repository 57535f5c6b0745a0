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
    void string(std::string_view s) {
        std::fputc('"', out_);
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') {
                std::fputc('\\', out_);
                std::fputc(c, out_);
            } else if (c < 0x20) {
                std::fprintf(out_, "\\u%04x", c);
            } else if (c >= 0x80) {
                // Mac Roman bytes are not UTF-8; keep the output valid JSON.
                std::fprintf(out_, "\\u%04x", c);
            } else {
                std::fputc(c, out_);
            }
        }
        std::fputc('"', out_);
    }

    FILE* out_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};

}  // namespace json
