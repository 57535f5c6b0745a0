#include "resources/rescomp/resource_source.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/atoms.h"
#include "platform/dialog_resources.h"

namespace {

constexpr int kMaxIncludeDepth = 16;

enum class Tok { End, Word, String, Quoted, LBrace, RBrace, LBracket, RBracket };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // word text, string contents (UTF-8) or quoted code
    int line = 0;
};

bool readFile(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *out = ss.str();
    return true;
}

std::string dirOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string joinPath(const std::string& base, const std::string& rel) {
    if (!rel.empty() && rel[0] == '/') return rel;
    return base + rel;
}

class Parser {
  public:
    Parser(const std::string& text, const std::string& name, const std::string& baseDir,
           ResourceSourceResult* result, int depth)
        : m_text(text), m_name(name), m_base(baseDir), m_result(result), m_depth(depth) {}

    bool run() {
        if (!lex()) return false;
        while (peek().kind != Tok::End) {
            const Token& t = next();
            if (t.kind == Tok::Word && t.text == "resource") {
                if (!parseResource()) return false;
            } else if (t.kind == Tok::Word && t.text == "include") {
                if (!parseInclude()) return false;
            } else {
                return fail(t, "expected 'resource' or 'include'");
            }
        }
        return true;
    }

  private:
    // --- Tokens -------------------------------------------------------------

    bool lex() {
        size_t i = 0;
        int line = 1;
        const std::string& s = m_text;
        while (i < s.size()) {
            const char c = s[i];
            if (c == '\n') {
                ++line, ++i;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
            } else if (c == '#') {
                while (i < s.size() && s[i] != '\n') ++i;
            } else if (c == '{' || c == '}' || c == '[' || c == ']') {
                m_tokens.push_back({c == '{'   ? Tok::LBrace
                                    : c == '}' ? Tok::RBrace
                                    : c == '[' ? Tok::LBracket
                                               : Tok::RBracket,
                                    std::string(1, c), line});
                ++i;
            } else if (c == '"') {
                Token t{Tok::String, {}, line};
                ++i;
                for (;;) {
                    if (i >= s.size() || s[i] == '\n') return failAt(line, "unterminated string");
                    char d = s[i++];
                    if (d == '"') break;
                    // Raw control characters would be invisible in review and
                    // would clash with the \x marker below; escapes say them.
                    if (uint8_t(d) < 0x20) return failAt(line, "control character in a string");
                    if (d == '\\') {
                        if (i >= s.size()) return failAt(line, "unterminated string");
                        const char e = s[i++];
                        switch (e) {
                            case 'n':
                                d = '\n';
                                break;
                            case 'r':
                                d = '\r';
                                break;
                            case 't':
                                d = '\t';
                                break;
                            case '"':
                                d = '"';
                                break;
                            case '\\':
                                d = '\\';
                                break;
                            case 'x': {
                                if (s.size() - i < 2 || !isxdigit(uint8_t(s[i])) ||
                                    !isxdigit(uint8_t(s[i + 1])))
                                    return failAt(line, "\\x needs two hex digits");
                                // \xHH is a Mac Roman byte; mark it so that the
                                // UTF-8 conversion passes it through unchanged.
                                t.text.push_back('\x01');
                                d = char(std::strtol(s.substr(i, 2).c_str(), nullptr, 16));
                                i += 2;
                                break;
                            }
                            default:
                                return failAt(line, std::string("unknown escape \\") + e);
                        }
                    }
                    t.text.push_back(d);
                }
                m_tokens.push_back(std::move(t));
            } else if (c == '\'') {
                const size_t close = s.find('\'', i + 1);
                if (close == std::string::npos) return failAt(line, "unterminated type code");
                m_tokens.push_back({Tok::Quoted, s.substr(i + 1, close - i - 1), line});
                i = close + 1;
            } else {
                size_t j = i;
                while (j < s.size() && !std::strchr(" \t\r\n{}[]\"'", s[j])) ++j;
                m_tokens.push_back({Tok::Word, s.substr(i, j - i), line});
                i = j;
            }
        }
        m_tokens.push_back({Tok::End, {}, line});
        return true;
    }

    const Token& peek() const { return m_tokens[m_pos]; }
    const Token& next() { return m_tokens[m_pos < m_tokens.size() - 1 ? m_pos++ : m_pos]; }

    bool failAt(int line, const std::string& msg) {
        m_result->error = m_name + ":" + std::to_string(line) + ": " + msg;
        return false;
    }
    bool fail(const Token& t, const std::string& msg) { return failAt(t.line, msg); }

    bool expect(Tok kind, const char* what) {
        const Token& t = next();
        if (t.kind != kind) return fail(t, std::string("expected ") + what);
        return true;
    }

    // A string token's text as Mac Roman bytes.
    bool macRoman(const Token& t, std::string* out) {
        std::string result, run;
        auto flush = [&] {
            std::string conv;
            if (!utf8ToMacRoman(run, &conv)) return false;
            result += conv;
            run.clear();
            return true;
        };
        for (size_t i = 0; i < t.text.size(); ++i) {
            if (t.text[i] == '\x01' && i + 1 < t.text.size()) {
                if (!flush()) return fail(t, "text is not representable in Mac Roman");
                result.push_back(t.text[++i]);
            } else {
                run.push_back(t.text[i]);
            }
        }
        if (!flush()) return fail(t, "text is not representable in Mac Roman");
        *out = std::move(result);
        return true;
    }

    bool string(std::string* out) {
        const Token& t = next();
        if (t.kind != Tok::String) return fail(t, "expected a string");
        return macRoman(t, out);
    }

    bool integer(int64_t lo, int64_t hi, int64_t* out) {
        const Token& t = next();
        if (t.kind != Tok::Word) return fail(t, "expected a number");
        errno = 0;
        char* end = nullptr;
        const long long v = std::strtoll(t.text.c_str(), &end, 0);
        if (errno || end == t.text.c_str() || *end)
            return fail(t, "'" + t.text + "' is not a number");
        if (v < lo || v > hi)
            return fail(
                t, t.text + " is out of range " + std::to_string(lo) + ".." + std::to_string(hi));
        *out = v;
        return true;
    }

    bool typeCode(FourCC* out) {
        const Token& t = next();
        if (t.kind != Tok::Word && t.kind != Tok::Quoted) return fail(t, "expected a type code");
        std::string mac;
        if (!utf8ToMacRoman(t.text, &mac) || mac.size() != 4)
            return fail(t, "a type code has four characters: '" + t.text + "'");
        *out = (FourCC(uint8_t(mac[0])) << 24) | (FourCC(uint8_t(mac[1])) << 16) |
               (FourCC(uint8_t(mac[2])) << 8) | FourCC(uint8_t(mac[3]));
        return true;
    }

    // --- Structure ----------------------------------------------------------

    bool parseInclude() {
        std::string path;
        const Token& t = peek();
        if (t.kind != Tok::String) return fail(t, "expected a file name");
        path = next().text;
        if (m_depth >= kMaxIncludeDepth) return fail(t, "includes nest too deep");
        const std::string full = joinPath(m_base, path);
        std::string text;
        if (!readFile(full, &text)) return fail(t, "cannot read " + full);
        m_result->filesRead.push_back(full);
        Parser sub(text, full, dirOf(full), m_result, m_depth + 1);
        return sub.run();
    }

    bool parseResource() {
        ResourceSpec spec;
        int64_t id;
        const int line = peek().line;
        if (!typeCode(&spec.type) || !integer(-32768, 32767, &id)) return false;
        spec.id = ResID(id);
        if (peek().kind == Tok::String && !string(&spec.name)) return false;
        if (spec.name.size() > 255) return failAt(line, "a resource name has at most 255 bytes");
        if (!expect(Tok::LBrace, "'{'") || !items(&spec.data) || !expect(Tok::RBrace, "'}'"))
            return false;
        for (const ResourceSpec& r : m_result->resources)
            if (r.type == spec.type && r.id == spec.id)
                return failAt(line, "resource defined twice: ID " + std::to_string(id));
        m_result->resources.push_back(std::move(spec));
        return true;
    }

    static void put(std::vector<uint8_t>* out, uint64_t v, int bytes) {
        for (int s = 8 * (bytes - 1); s >= 0; s -= 8) out->push_back(uint8_t(v >> s));
    }

    // Items until a closing '}' or ']' (not consumed).
    bool items(std::vector<uint8_t>* out) {
        while (peek().kind == Tok::Word) {
            if (!item(out)) return false;
        }
        if (peek().kind != Tok::RBrace && peek().kind != Tok::RBracket)
            return fail(peek(), "expected a data item");
        return true;
    }

    // "[N]" after pstr/cstr: the field width, or 0 when absent.
    bool fieldWidth(int64_t* width) {
        *width = 0;
        if (peek().kind != Tok::LBracket) return true;
        next();
        return integer(1, 65535, width) && expect(Tok::RBracket, "']'");
    }

    bool item(std::vector<uint8_t>* out) {
        const Token& t = next();
        const std::string& w = t.text;
        struct IntKind {
            const char* name;
            int bytes;
            int64_t lo, hi;
        };
        static constexpr IntKind kInts[] = {
            {"u8", 1, 0, 0xFF},          {"i8", 1, -128, 127},
            {"u16", 2, 0, 0xFFFF},       {"i16", 2, -32768, 32767},
            {"u32", 4, 0, 0xFFFFFFFFll}, {"i32", 4, -2147483648ll, 2147483647},
        };
        for (const IntKind& k : kInts) {
            if (w != k.name) continue;
            int64_t v;
            if (!integer(k.lo, k.hi, &v)) return false;
            put(out, uint64_t(v), k.bytes);
            return true;
        }
        if (w == "fixed" || w == "ufixed") {
            const Token& n = next();
            char* end = nullptr;
            const double v = std::strtod(n.text.c_str(), &end);
            if (n.kind != Tok::Word || end == n.text.c_str() || *end)
                return fail(n, "expected a number");
            const double scaled = std::round(v * 65536.0);
            const bool ok = w == "fixed" ? scaled >= -2147483648.0 && scaled <= 2147483647.0
                                         : scaled >= 0 && scaled <= 4294967295.0;
            if (!ok) return fail(n, "out of " + w + " 16.16 range");
            put(out, w == "fixed" ? uint32_t(int32_t(scaled)) : uint32_t(scaled), 4);
            return true;
        }
        if (w == "type") {
            FourCC code;
            if (!typeCode(&code)) return false;
            put(out, code, 4);
            return true;
        }
        if (w == "pstr" || w == "cstr") {
            int64_t width;
            std::string s;
            if (!fieldWidth(&width) || !string(&s)) return false;
            const bool counted = w == "pstr";
            const size_t limit = width ? size_t(width) - 1 : counted ? 255 : SIZE_MAX;
            if (s.size() > limit)
                return fail(t, "string of " + std::to_string(s.size()) + " bytes exceeds " +
                                   std::to_string(limit));
            if (!counted && s.find('\0') != std::string::npos)
                return fail(t, "a NUL-terminated string cannot hold NUL");
            const size_t start = out->size();
            if (counted) out->push_back(uint8_t(s.size()));
            out->insert(out->end(), s.begin(), s.end());
            if (!counted) out->push_back(0);
            if (width) out->resize(start + size_t(width), 0);
            return true;
        }
        if (w == "bytes") {
            if (!expect(Tok::LBrace, "'{'")) return false;
            while (peek().kind == Tok::Word) {
                const Token& h = next();
                if (h.text.size() % 2) return fail(h, "hex bytes come in pairs of digits");
                for (size_t i = 0; i < h.text.size(); i += 2) {
                    if (!isxdigit(uint8_t(h.text[i])) || !isxdigit(uint8_t(h.text[i + 1])))
                        return fail(h, "'" + h.text + "' is not hex");
                    out->push_back(uint8_t(std::strtol(h.text.substr(i, 2).c_str(), nullptr, 16)));
                }
            }
            return expect(Tok::RBrace, "'}'");
        }
        if (w == "file") {
            const Token& f = next();
            if (f.kind != Tok::String) return fail(f, "expected a file name");
            const std::string full = joinPath(m_base, f.text);
            std::string bytes;
            if (!readFile(full, &bytes)) return fail(f, "cannot read " + full);
            m_result->filesRead.push_back(full);
            out->insert(out->end(), bytes.begin(), bytes.end());
            return true;
        }
        if (w == "strings") {
            if (!expect(Tok::LBrace, "'{'")) return false;
            std::vector<uint8_t> body;
            size_t n = 0;
            while (peek().kind == Tok::String) {
                const Token& st = peek();
                std::string s;
                if (!string(&s)) return false;
                if (s.size() > 255) return fail(st, "a counted string has at most 255 bytes");
                body.push_back(uint8_t(s.size()));
                body.insert(body.end(), s.begin(), s.end());
                ++n;
            }
            if (n > 0xFFFF) return fail(t, "too many strings");
            put(out, n, 2);
            out->insert(out->end(), body.begin(), body.end());
            return expect(Tok::RBrace, "'}'");
        }
        if (w == "counted") {
            const Token& kind = next();
            const int bytes = kind.text == "u8"    ? 1
                              : kind.text == "u16" ? 2
                              : kind.text == "u32" ? 4
                                                   : 0;
            if (kind.kind != Tok::Word || !bytes) return fail(kind, "expected u8, u16 or u32");
            if (!expect(Tok::LBrace, "'{'")) return false;
            std::vector<uint8_t> body;
            uint64_t n = 0;
            while (peek().kind == Tok::LBracket) {
                next();
                if (!items(&body) || !expect(Tok::RBracket, "']'")) return false;
                ++n;
            }
            if (n >> (8 * bytes)) return fail(t, "too many groups for the count");
            put(out, n, bytes);
            out->insert(out->end(), body.begin(), body.end());
            return expect(Tok::RBrace, "'}'");
        }
        if (w == "dialog" || w == "alert" || w == "control") return windowRecord(t, out);
        if (w == "ditl") return itemList(t, out);
        if (w == "menu") return menu(t, out);
        if (w == "container") {
            AtomContainer c;
            if (!expect(Tok::LBrace, "'{'") || !atoms(&c, kAtomRoot) || !expect(Tok::RBrace, "'}'"))
                return false;
            std::vector<uint8_t> flat = c.flatten();
            out->insert(out->end(), flat.begin(), flat.end());
            return true;
        }
        return fail(t, "unknown data item '" + w + "'");
    }

    // --- Window resources ----------------------------------------------------

    bool integer16(int16_t* out) {
        int64_t v;
        if (!integer(-32768, 32767, &v)) return false;
        *out = int16_t(v);
        return true;
    }

    bool rect(QDRect* r) {
        return integer16(&r->top) && integer16(&r->left) && integer16(&r->bottom) &&
               integer16(&r->right);
    }

    bool flag(bool* out) {
        int64_t v;
        if (!integer(0, 1, &v)) return false;
        *out = v != 0;
        return true;
    }

    // dialog { bounds T L B R  kind N  visible 0|1  closebox 0|1  refcon N  items ID  title "t" }
    // alert { bounds T L B R  items ID  stages N }
    // control { bounds T L B R  value N  visible 0|1  max N  min N  proc N  refcon N  title "t" }
    bool windowRecord(const Token& t, std::vector<uint8_t>* out) {
        DialogTemplate d;
        AlertTemplate a;
        ControlTemplate c;
        const std::string& w = t.text;
        if (!expect(Tok::LBrace, "'{'")) return false;
        while (peek().kind == Tok::Word) {
            const Token& k = next();
            const std::string& key = k.text;
            int64_t v;
            bool ok = true;
            if (key == "bounds") {
                ok = rect(w == "dialog" ? &d.bounds : w == "alert" ? &a.bounds : &c.bounds);
            } else if (key == "title" && w != "alert") {
                ok = string(w == "dialog" ? &d.title : &c.title);
            } else if (key == "items" && w != "control") {
                ok = integer16(w == "dialog" ? &d.itemsID : &a.itemsID);
            } else if (key == "visible" && w != "alert") {
                ok = flag(w == "dialog" ? &d.visible : &c.visible);
            } else if (key == "refcon" && w != "alert") {
                ok = integer(-2147483648ll, 2147483647, &v);
                (w == "dialog" ? d.refCon : c.refCon) = int32_t(v);
            } else if (w == "dialog" && key == "kind") {
                ok = integer16(&d.kind);
            } else if (w == "dialog" && key == "closebox") {
                ok = flag(&d.closeBox);
            } else if (w == "alert" && key == "stages") {
                ok = integer(0, 0xFFFF, &v);
                a.stages = uint16_t(v);
            } else if (w == "control" && key == "value") {
                ok = integer16(&c.value);
            } else if (w == "control" && key == "max") {
                ok = integer16(&c.max);
            } else if (w == "control" && key == "min") {
                ok = integer16(&c.min);
            } else if (w == "control" && key == "proc") {
                ok = integer16(&c.procID);
            } else {
                return fail(k, "unknown " + w + " field '" + key + "'");
            }
            if (!ok) return false;
        }
        if (!expect(Tok::RBrace, "'}'")) return false;
        std::vector<uint8_t> bytes;
        const OSStatus err = w == "dialog"  ? writeDialogTemplate(d, &bytes)
                             : w == "alert" ? writeAlertTemplate(a, &bytes)
                                            : writeControlTemplate(c, &bytes);
        if (err) return fail(t, w + ": bounds out of range or title too long");
        out->insert(out->end(), bytes.begin(), bytes.end());
        return true;
    }

    // ditl { [disabled] KIND T L B R [ "text" | ID ] ... }, items numbered from 1 in order.
    bool itemList(const Token& t, std::vector<uint8_t>* out) {
        struct Kind {
            const char* name;
            uint8_t kind;
        };
        static constexpr Kind kKinds[] = {
            {"user", kUserItem},          {"button", kButtonItem},
            {"checkbox", kCheckBoxItem},  {"radio", kRadioButtonItem},
            {"control", kControlItem},    {"static", kStaticTextItem},
            {"edit", kEditTextItem},      {"icon", kIconItem},
            {"picture", kPictureItem},
        };
        if (!expect(Tok::LBrace, "'{'")) return false;
        std::vector<DialogItemTemplate> items;
        while (peek().kind == Tok::Word) {
            DialogItemTemplate it;
            const Token* k = &next();
            if (k->text == "disabled") {
                it.disabled = true;
                k = &next();
            }
            const Kind* found = nullptr;
            for (const Kind& kk : kKinds)
                if (k->text == kk.name) found = &kk;
            if (!found) return fail(*k, "unknown item kind '" + k->text + "'");
            it.kind = found->kind;
            if (!rect(&it.bounds)) return false;
            if (it.bounds.top > it.bounds.bottom || it.bounds.left > it.bounds.right)
                return fail(*k, "item " + std::to_string(items.size() + 1) +
                                    ": rectangle is inverted");
            if (it.kind == kControlItem || it.kind == kIconItem || it.kind == kPictureItem) {
                if (!integer16(&it.resourceID)) return false;
            } else if (it.kind != kUserItem) {
                const Token& st = peek();
                if (!string(&it.text)) return false;
                if (it.text.size() > 255) return fail(st, "an item text has at most 255 bytes");
            }
            items.push_back(std::move(it));
        }
        if (!expect(Tok::RBrace, "'}'")) return false;
        std::vector<uint8_t> bytes;
        if (writeDialogItemList(items, &bytes)) return fail(t, "item list is empty or out of range");
        out->insert(out->end(), bytes.begin(), bytes.end());
        return true;
    }

    // menu { id N  title "t"  items { "a" "-" "b" } }
    bool menu(const Token& t, std::vector<uint8_t>* out) {
        MenuTemplate m;
        if (!expect(Tok::LBrace, "'{'")) return false;
        while (peek().kind == Tok::Word) {
            const Token& k = next();
            if (k.text == "id") {
                if (!integer16(&m.menuID)) return false;
            } else if (k.text == "title") {
                if (!string(&m.title)) return false;
            } else if (k.text == "items") {
                if (!expect(Tok::LBrace, "'{'")) return false;
                while (peek().kind == Tok::String) {
                    const Token& st = peek();
                    MenuItemTemplate it;
                    if (!string(&it.text)) return false;
                    if (it.text.empty() || it.text.size() > 255)
                        return fail(st, "a menu item has 1 to 255 bytes");
                    m.items.push_back(std::move(it));
                }
                if (!expect(Tok::RBrace, "'}'")) return false;
            } else {
                return fail(k, "unknown menu field '" + k.text + "'");
            }
        }
        if (!expect(Tok::RBrace, "'}'")) return false;
        std::vector<uint8_t> bytes;
        if (writeMenuTemplate(m, &bytes)) return fail(t, "menu title too long");
        out->insert(out->end(), bytes.begin(), bytes.end());
        return true;
    }

    bool atoms(AtomContainer* c, AtomRef parent) {
        while (peek().kind == Tok::Word && peek().text == "atom") {
            const Token& a = next();
            FourCC type;
            int64_t id;
            if (!typeCode(&type) || !integer(-2147483648ll, 2147483647, &id)) return false;
            if (id == 0) return fail(a, "atom ID 0 is reserved");
            if (!expect(Tok::LBrace, "'{'")) return false;
            const bool isParent = peek().kind == Tok::Word && peek().text == "atom";
            std::vector<uint8_t> data;
            if (!isParent && !items(&data)) return false;
            AtomRef ref;
            const OSStatus err = c->insertChild(parent, type, AtomID(id), data, &ref);
            if (err == kStatusDuplicateAtom) return fail(a, "atom type and ID used twice here");
            if (err) return fail(a, "cannot insert atom (status " + std::to_string(err) + ")");
            if (isParent && !atoms(c, ref)) return false;
            if (!expect(Tok::RBrace, "'}'")) return false;
        }
        if (peek().kind != Tok::RBrace) return fail(peek(), "expected 'atom' or '}'");
        return true;
    }

    const std::string& m_text;
    std::string m_name;
    std::string m_base;
    ResourceSourceResult* m_result;
    int m_depth;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
};

}  // namespace

bool parseResourceSourceText(const std::string& text, const std::string& displayName,
                             const std::string& baseDir, ResourceSourceResult* result) {
    std::string base = baseDir;
    if (!base.empty() && base.back() != '/') base.push_back('/');
    Parser p(text, displayName, base, result, 0);
    return p.run();
}

bool parseResourceSourceFile(const std::string& path, ResourceSourceResult* result) {
    std::string text;
    if (!readFile(path, &text)) {
        result->error = "cannot read " + path;
        return false;
    }
    result->filesRead.push_back(path);
    Parser p(text, path, dirOf(path), result, 0);
    return p.run();
}
