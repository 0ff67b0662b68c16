#include "web/MediaQuery.h"
#include "web/HtmlText.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace larkspur {

namespace {

using htmltext::isBlank;

// Three-valued logic: a feature this reader does not know is neither true nor false.
enum class Tri { False, True, Unknown };

Tri fromBool(bool b)
{
    return b ? Tri::True : Tri::False;
}

Tri triNot(Tri a)
{
    return a == Tri::Unknown ? a : fromBool(a == Tri::False);
}

Tri triAnd(Tri a, Tri b)
{
    if (a == Tri::False || b == Tri::False) return Tri::False;
    return a == Tri::Unknown || b == Tri::Unknown ? Tri::Unknown : Tri::True;
}

Tri triOr(Tri a, Tri b)
{
    if (a == Tri::True || b == Tri::True) return Tri::True;
    return a == Tri::Unknown || b == Tri::Unknown ? Tri::Unknown : Tri::False;
}

struct Token
{
    enum Kind { Ident, Number, Open, Close, Colon, Slash, Compare, Comma, Other, End };
    Kind kind = End;
    std::string text; // identifier, unit of a number, or comparison operator
    double number = 0;
};

bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Expects lower-case text.
std::vector<Token> tokenize(std::string_view s)
{
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        Token t;
        const bool signedNumber =
            (c == '-' || c == '+') && i + 1 < s.size() && (isDigit(s[i + 1]) || s[i + 1] == '.');
        if (isDigit(c) || signedNumber || (c == '.' && i + 1 < s.size() && isDigit(s[i + 1]))) {
            size_t end = i + (signedNumber && c == '+' ? 1 : 0);
            const auto [ptr, ec] = std::from_chars(s.data() + end, s.data() + s.size(), t.number);
            if (ec != std::errc()) {
                t.kind = Token::Other;
                ++i;
            } else {
                t.kind = Token::Number;
                i = static_cast<size_t>(ptr - s.data());
                end = i;
                while (end < s.size() && (isNameChar(s[end]) || s[end] == '%'))
                    ++end;
                t.text = std::string(s.substr(i, end - i));
                i = end;
            }
        } else if (isNameStart(c) ||
                   (c == '-' && i + 1 < s.size() && (isNameStart(s[i + 1]) || s[i + 1] == '-'))) {
            size_t end = i + 1;
            while (end < s.size() && isNameChar(s[end]))
                ++end;
            t.kind = Token::Ident;
            t.text = std::string(s.substr(i, end - i));
            i = end;
        } else if (c == '<' || c == '>' || c == '=') {
            t.kind = Token::Compare;
            t.text = c;
            ++i;
            if (c != '=' && i < s.size() && s[i] == '=') {
                t.text += '=';
                ++i;
            }
        } else {
            t.kind = c == '('   ? Token::Open
                     : c == ')' ? Token::Close
                     : c == ':' ? Token::Colon
                     : c == '/' ? Token::Slash
                     : c == ',' ? Token::Comma
                                : Token::Other;
            ++i;
        }
        out.push_back(std::move(t));
    }
    return out;
}

enum class FeatureType { Length, Ratio, Resolution, Integer, Keyword };

struct Feature
{
    const char* name;
    FeatureType type;
    double number;       // the screen's value for numeric features
    const char* keyword; // and for keyword ones
};

// A value given in a query, in the unit the feature is compared in.
struct QueryValue
{
    bool valid = false;
    double value = 0;
};

class Evaluator
{
  public:
    Evaluator(std::vector<Token> tokens, const MediaViewport& viewport)
        : m_tokens(std::move(tokens)), m_viewport(viewport)
    {
        m_tokens.push_back(Token{});
    }

    bool listMatches()
    {
        if (peek().kind == Token::End) return true;
        bool any = false;
        while (true) {
            m_error = false;
            const Tri r = query();
            if (!m_error && (peek().kind == Token::Comma || peek().kind == Token::End))
                any = any || r == Tri::True;
            // A query that cannot be read counts as "not all"; the list reads on after it.
            while (peek().kind != Token::Comma && peek().kind != Token::End)
                skipOne();
            if (peek().kind == Token::End) return any;
            ++m_pos;
        }
    }

  private:
    const Token& peek(size_t ahead = 0) const
    {
        return m_tokens[std::min(m_pos + ahead, m_tokens.size() - 1)];
    }

    bool peekIdent(const char* word) const
    {
        return peek().kind == Token::Ident && peek().text == word;
    }

    void fail() { m_error = true; }

    // Steps over one token, or a whole parenthesised group.
    void skipOne()
    {
        if (peek().kind == Token::End) return;
        if (peek().kind != Token::Open) {
            ++m_pos;
            return;
        }
        int depth = 0;
        do {
            if (peek().kind == Token::Open) ++depth;
            if (peek().kind == Token::Close) --depth;
            ++m_pos;
        } while (depth > 0 && peek().kind != Token::End);
    }

    Tri query()
    {
        if (peek().kind != Token::Ident || (peekIdent("not") && peek(1).kind == Token::Open))
            return condition(true);
        bool negate = false;
        if (peekIdent("not") || peekIdent("only")) {
            negate = peek().text == "not";
            ++m_pos;
            if (peek().kind != Token::Ident) {
                fail();
                return Tri::False;
            }
        }
        const std::string& type = peek().text;
        if (type == "and" || type == "or" || type == "not" || type == "only" || type == "layer") {
            fail();
            return Tri::False;
        }
        Tri r = fromBool(type == "all" || type == "screen");
        ++m_pos;
        if (peekIdent("and")) {
            ++m_pos;
            r = triAnd(r, condition(false));
        }
        return negate ? triNot(r) : r;
    }

    // "and" and "or" may not be mixed at one level; allowOr is false after a media type.
    Tri condition(bool allowOr)
    {
        if (peekIdent("not")) {
            ++m_pos;
            return triNot(inParens());
        }
        Tri r = inParens();
        if (peekIdent("and")) {
            while (peekIdent("and")) {
                ++m_pos;
                r = triAnd(r, inParens());
            }
        } else if (allowOr && peekIdent("or")) {
            while (peekIdent("or")) {
                ++m_pos;
                r = triOr(r, inParens());
            }
        }
        if (peekIdent("and") || peekIdent("or")) fail();
        return r;
    }

    Tri inParens()
    {
        if (peek().kind != Token::Open) {
            fail();
            return Tri::False;
        }
        const size_t start = m_pos;
        const bool outerError = m_error;
        ++m_pos;
        Tri r = Tri::Unknown;
        // Nesting deeper than any real sheet needs is read over instead of recursing on.
        if (++m_depth > 32)
            fail();
        else if (peek().kind == Token::Open || peekIdent("not"))
            r = condition(true);
        else
            r = feature();
        --m_depth;
        if (!m_error && peek().kind == Token::Close) {
            ++m_pos;
            return r;
        }
        // Anything else in parentheses is read over and counts as unknown.
        m_error = outerError;
        m_pos = start;
        skipOne();
        return Tri::Unknown;
    }

    // The part inside "( )" that names a feature, in any of its forms.
    Tri feature()
    {
        if (peek().kind == Token::Ident) {
            const std::string name = peek().text;
            ++m_pos;
            if (peek().kind == Token::Close) return booleanFeature(name);
            if (peek().kind == Token::Colon) {
                ++m_pos;
                return plainFeature(name);
            }
            if (peek().kind == Token::Compare) {
                const std::string op = peek().text;
                ++m_pos;
                return compare(name, op, value(name), false);
            }
            fail();
            return Tri::False;
        }
        // "value op name" or "value op name op value"
        const size_t valueStart = m_pos;
        skipValue();
        if (peek().kind != Token::Compare || peek(1).kind != Token::Ident) {
            fail();
            return Tri::False;
        }
        const std::string op = peek().text;
        const std::string name = peek(1).text;
        const size_t after = m_pos + 2;
        m_pos = valueStart;
        const QueryValue left = value(name);
        m_pos = after;
        Tri r = compare(name, op, left, true);
        if (peek().kind == Token::Compare) {
            const std::string op2 = peek().text;
            // Both comparisons must point the same way.
            if ((op[0] == '<') != (op2[0] == '<') || op[0] == '=' || op2[0] == '=') {
                fail();
                return Tri::False;
            }
            ++m_pos;
            r = triAnd(r, compare(name, op2, value(name), false));
        }
        return r;
    }

    void skipValue()
    {
        if (peek().kind == Token::Number && peek(1).kind == Token::Slash) m_pos += 2;
        if (peek().kind == Token::Number || peek().kind == Token::Ident) ++m_pos;
    }

    static const Feature* find(std::string_view name)
    {
        static const Feature kFeatures[] = {
            {"width", FeatureType::Length, 0, nullptr},
            {"height", FeatureType::Length, 0, nullptr},
            {"device-width", FeatureType::Length, 0, nullptr},
            {"device-height", FeatureType::Length, 0, nullptr},
            {"aspect-ratio", FeatureType::Ratio, 0, nullptr},
            {"device-aspect-ratio", FeatureType::Ratio, 0, nullptr},
            {"resolution", FeatureType::Resolution, 1, nullptr},
            {"device-pixel-ratio", FeatureType::Integer, 1, nullptr},
            {"-moz-device-pixel-ratio", FeatureType::Integer, 1, nullptr},
            {"color", FeatureType::Integer, 8, nullptr},
            {"color-index", FeatureType::Integer, 0, nullptr},
            {"monochrome", FeatureType::Integer, 0, nullptr},
            {"grid", FeatureType::Integer, 0, nullptr},
            {"orientation", FeatureType::Keyword, 0, nullptr}, // from the viewport
            {"hover", FeatureType::Keyword, 0, "hover"},
            {"any-hover", FeatureType::Keyword, 0, "hover"},
            {"pointer", FeatureType::Keyword, 0, "fine"},
            {"any-pointer", FeatureType::Keyword, 0, "fine"},
            {"prefers-color-scheme", FeatureType::Keyword, 0, "light"},
            {"prefers-reduced-motion", FeatureType::Keyword, 0, "no-preference"},
            {"prefers-reduced-transparency", FeatureType::Keyword, 0, "no-preference"},
            {"prefers-reduced-data", FeatureType::Keyword, 0, "no-preference"},
            {"prefers-contrast", FeatureType::Keyword, 0, "no-preference"},
            {"forced-colors", FeatureType::Keyword, 0, "none"},
            {"inverted-colors", FeatureType::Keyword, 0, "none"},
            {"scripting", FeatureType::Keyword, 0, "none"},
            {"update", FeatureType::Keyword, 0, "fast"},
            {"overflow-block", FeatureType::Keyword, 0, "scroll"},
            {"overflow-inline", FeatureType::Keyword, 0, "scroll"},
            {"display-mode", FeatureType::Keyword, 0, "browser"},
            {"color-gamut", FeatureType::Keyword, 0, "srgb"},
            {"dynamic-range", FeatureType::Keyword, 0, "standard"},
            {"scan", FeatureType::Keyword, 0, "progressive"},
        };
        for (const Feature& f : kFeatures)
            if (name == f.name) return &f;
        return nullptr;
    }

    double actual(const Feature& f) const
    {
        const std::string_view name = f.name;
        if (name == "width" || name == "device-width") return m_viewport.widthPx;
        if (name == "height" || name == "device-height") return m_viewport.heightPx;
        if (f.type == FeatureType::Ratio) return m_viewport.widthPx / m_viewport.heightPx;
        return f.number;
    }

    // Reads the value after a feature name or before a comparison, in the feature's unit.
    QueryValue value(const std::string& rawName)
    {
        QueryValue out;
        const Feature* f = find(stripPrefixes(rawName));
        const Token& t = peek();
        if (t.kind != Token::Number) {
            if (t.kind == Token::Ident) ++m_pos;
            return out;
        }
        ++m_pos;
        if (!f) return out;
        switch (f->type) {
        case FeatureType::Length:
            out.value = lengthPx(t);
            out.valid = !std::isnan(out.value);
            break;
        case FeatureType::Ratio:
            out.value = t.number;
            out.valid = t.text.empty();
            if (peek().kind == Token::Slash && peek(1).kind == Token::Number) {
                const double d = peek(1).number;
                out.valid = out.valid && peek(1).text.empty() && d > 0;
                out.value = d > 0 ? t.number / d : 0;
                m_pos += 2;
            }
            break;
        case FeatureType::Resolution:
            out.valid = true;
            if (t.text == "dppx" || t.text == "x")
                out.value = t.number;
            else if (t.text == "dpi")
                out.value = t.number / 96;
            else if (t.text == "dpcm")
                out.value = t.number * 2.54 / 96;
            else
                out.valid = false;
            break;
        case FeatureType::Integer:
            out.value = t.number;
            out.valid = t.text.empty();
            break;
        case FeatureType::Keyword:
            break;
        }
        return out;
    }

    double lengthPx(const Token& t) const
    {
        const std::string& u = t.text;
        const double n = t.number;
        if (u == "px") return n;
        if (u == "em" || u == "rem") return n * 16;
        if (u == "vw") return n * m_viewport.widthPx / 100;
        if (u == "vh") return n * m_viewport.heightPx / 100;
        if (u == "in") return n * 96;
        if (u == "cm") return n * 96 / 2.54;
        if (u == "mm") return n * 96 / 25.4;
        if (u == "pt") return n * 96 / 72;
        if (u.empty() && n == 0) return 0;
        return NAN;
    }

    // "-webkit-min-device-pixel-ratio" reads as "min-" of "device-pixel-ratio".
    static std::string_view stripPrefixes(std::string_view name, std::string_view* range = nullptr)
    {
        if (name.substr(0, 8) == "-webkit-") name.remove_prefix(8);
        if (name.substr(0, 4) == "min-" || name.substr(0, 4) == "max-") {
            if (range) *range = name.substr(0, 3);
            name.remove_prefix(4);
        }
        return name;
    }

    std::string_view keywordOf(const Feature& f) const
    {
        if (std::string_view(f.name) == "orientation")
            return m_viewport.heightPx >= m_viewport.widthPx ? "portrait" : "landscape";
        return f.keyword;
    }

    Tri booleanFeature(const std::string& name)
    {
        const Feature* f = find(name.substr(0, 8) == "-webkit-" ? name.substr(8) : name);
        if (!f) return Tri::Unknown;
        if (f->type == FeatureType::Keyword) {
            const std::string_view k = keywordOf(*f);
            return fromBool(k != "none" && k != "no-preference");
        }
        return fromBool(actual(*f) != 0);
    }

    Tri plainFeature(const std::string& name)
    {
        std::string_view range;
        const std::string_view bare = stripPrefixes(name, &range);
        const Feature* f = find(bare);
        if (f && f->type == FeatureType::Keyword) {
            if (!range.empty() || peek().kind != Token::Ident) {
                skipValue();
                return Tri::Unknown;
            }
            const bool same = peek().text == keywordOf(*f);
            ++m_pos;
            return fromBool(same);
        }
        const QueryValue v = value(name);
        if (!f || !v.valid) return Tri::Unknown;
        const double a = actual(*f);
        if (range == "min") return fromBool(a >= v.value - 1e-9);
        if (range == "max") return fromBool(a <= v.value + 1e-9);
        return fromBool(std::fabs(a - v.value) < 1e-9);
    }

    // name op value, or value op name when valueFirst.
    Tri compare(const std::string& name, const std::string& op, QueryValue v, bool valueFirst)
    {
        const Feature* f = find(name.substr(0, 8) == "-webkit-" ? name.substr(8) : name);
        if (!f || f->type == FeatureType::Keyword || !v.valid) return Tri::Unknown;
        double left = actual(*f), right = v.value;
        if (valueFirst) std::swap(left, right);
        if (op == "<") return fromBool(left < right - 1e-9);
        if (op == "<=") return fromBool(left <= right + 1e-9);
        if (op == ">") return fromBool(left > right + 1e-9);
        if (op == ">=") return fromBool(left >= right - 1e-9);
        return fromBool(std::fabs(left - right) < 1e-9);
    }

    std::vector<Token> m_tokens;
    MediaViewport m_viewport;
    size_t m_pos = 0;
    int m_depth = 0;
    bool m_error = false;
};

} // namespace

bool mediaQueryListMatches(std::string_view list, const MediaViewport& viewport)
{
    return Evaluator(tokenize(htmltext::lowered(list)), viewport).listMatches();
}

} // namespace larkspur
