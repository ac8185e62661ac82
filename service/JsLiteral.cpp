#include "service/JsLiteral.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

namespace tamsel {

namespace {

bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

void AppendEscaped(std::string& out, char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += ' ';
            } else {
                out.push_back(c);
            }
    }
}

class Reader {
public:
    Reader(std::string_view text, std::size_t pos) : m_text(text), m_pos(pos) {}

    std::string Run(std::size_t* end) {
        const std::size_t limit = std::min(m_text.size(), m_pos + kMaxLiteralBytes);
        m_text = m_text.substr(0, limit);
        std::vector<char> stack;  // '{' or '['
        bool wantKey = false;
        while (true) {
            SkipBlanks();
            if (m_pos >= m_text.size()) {
                return {};
            }
            const char c = m_text[m_pos];
            if (c == '{' || c == '[') {
                if (stack.size() >= static_cast<std::size_t>(kMaxLiteralDepth)) {
                    return {};
                }
                stack.push_back(c);
                m_out.push_back(c);
                ++m_pos;
                wantKey = c == '{';
                continue;
            }
            if (stack.empty()) {
                return {};
            }
            if (c == '}' || c == ']') {
                if ((c == '}') != (stack.back() == '{')) {
                    return {};
                }
                if (!m_out.empty() && m_out.back() == ',') {
                    m_out.pop_back();  // trailing comma
                }
                stack.pop_back();
                m_out.push_back(c);
                ++m_pos;
                wantKey = false;
                if (stack.empty()) {
                    break;
                }
                continue;
            }
            if (c == ',') {
                if (!m_out.empty() && m_out.back() != ',' && m_out.back() != '{' &&
                    m_out.back() != '[') {
                    m_out.push_back(',');
                }
                ++m_pos;
                wantKey = stack.back() == '{';
                continue;
            }
            if (wantKey) {
                if (!ReadKey()) {
                    return {};
                }
                SkipBlanks();
                if (m_pos >= m_text.size() || m_text[m_pos] != ':') {
                    return {};
                }
                m_out.push_back(':');
                ++m_pos;
                wantKey = false;
                continue;
            }
            if (!ReadValue()) {
                return {};
            }
        }
        if (end != nullptr) {
            *end = m_pos;
        }
        return m_out;
    }

private:
    void SkipBlanks() {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (std::isspace(static_cast<unsigned char>(c)) != 0) {
                ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '/') {
                const std::size_t nl = m_text.find('\n', m_pos);
                m_pos = nl == std::string_view::npos ? m_text.size() : nl + 1;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '*') {
                const std::size_t close = m_text.find("*/", m_pos + 2);
                m_pos = close == std::string_view::npos ? m_text.size() : close + 2;
            } else {
                return;
            }
        }
    }

    // A quoted string at m_pos, written out as a JSON string.
    bool ReadString() {
        const char quote = m_text[m_pos++];
        m_out.push_back('"');
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == quote) {
                m_out.push_back('"');
                return true;
            }
            if (c == '\\' && m_pos < m_text.size()) {
                const char e = m_text[m_pos++];
                if (e == 'u' || e == 'n' || e == 't' || e == 'r' || e == 'b' || e == 'f' ||
                    e == '"' || e == '\\' || e == '/') {
                    m_out.push_back('\\');
                    m_out.push_back(e);
                } else if (e == 'x' && m_pos + 2 <= m_text.size()) {
                    m_out += "\\u00";
                    m_out.append(m_text.substr(m_pos, 2));
                    m_pos += 2;
                } else if (e != '\n') {
                    AppendEscaped(m_out, e);
                }
                continue;
            }
            AppendEscaped(m_out, c);
        }
        return false;
    }

    bool ReadKey() {
        const char c = m_text[m_pos];
        if (c == '"' || c == '\'' || c == '`') {
            return ReadString();
        }
        const std::size_t from = m_pos;
        while (m_pos < m_text.size() && IsIdentChar(m_text[m_pos])) {
            ++m_pos;
        }
        if (m_pos == from) {
            return false;
        }
        m_out.push_back('"');
        m_out.append(m_text.substr(from, m_pos - from));
        m_out.push_back('"');
        return true;
    }

    bool ReadValue() {
        const char c = m_text[m_pos];
        if (c == '"' || c == '\'' || c == '`') {
            return ReadString();
        }
        const std::size_t from = m_pos;
        while (m_pos < m_text.size() && (IsIdentChar(m_text[m_pos]) || m_text[m_pos] == '.' ||
                                         m_text[m_pos] == '-' || m_text[m_pos] == '+')) {
            ++m_pos;
        }
        const std::string word(m_text.substr(from, m_pos - from));
        SkipBlanks();
        const bool ends = m_pos >= m_text.size() || m_text[m_pos] == ',' || m_text[m_pos] == '}' ||
                          m_text[m_pos] == ']';
        if (ends && (word == "true" || word == "false" || word == "null")) {
            m_out += word;
            return true;
        }
        if (ends && !word.empty() && IsNumber(word)) {
            m_out += word;
            return true;
        }
        // Not data: skip the expression up to the next separator of this level.
        SkipExpression();
        m_out += "null";
        return true;
    }

    static bool IsNumber(const std::string& word) {
        if (word.find_first_of("xXnN") != std::string::npos) {
            return false;
        }
        char* stop = nullptr;
        std::strtod(word.c_str(), &stop);
        return stop != nullptr && *stop == '\0' &&
               (std::isdigit(static_cast<unsigned char>(word[0])) != 0 || word[0] == '-');
    }

    void SkipExpression() {
        int nesting = 0;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '"' || c == '\'' || c == '`') {
                const std::size_t keep = m_out.size();
                if (!ReadString()) {
                    return;
                }
                m_out.resize(keep);
                continue;
            }
            if (c == '(' || c == '{' || c == '[') {
                if (++nesting > kMaxLiteralDepth) {
                    m_pos = m_text.size();
                    return;
                }
            } else if (c == ')' || c == '}' || c == ']') {
                if (nesting == 0) {
                    return;
                }
                --nesting;
            } else if (c == ',' && nesting == 0) {
                return;
            }
            ++m_pos;
        }
    }

    std::string_view m_text;
    std::size_t m_pos;
    std::string m_out;
};

}  // namespace

std::string JsLiteralToJson(std::string_view text, std::size_t start, std::size_t* end) {
    if (start >= text.size() || (text[start] != '{' && text[start] != '[')) {
        return {};
    }
    return Reader(text, start).Run(end);
}

}  // namespace tamsel
