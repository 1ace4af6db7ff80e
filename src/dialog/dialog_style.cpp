#include "dialog/dialog_style.h"

#include <cctype>
#include <charconv>
#include <map>

#include "core/failure.h"

namespace tav {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

using Section = std::map<std::string, std::string>;

std::map<std::string, Section> ReadIni(std::string_view text) {
    std::map<std::string, Section> sections;
    Section* current = nullptr;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            current = &sections[Lower(Trim(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)))];
            continue;
        }
        const size_t eq = line.find('=');
        if (current == nullptr || eq == std::string_view::npos) continue;
        (*current)[Lower(Trim(line.substr(0, eq)))] = std::string(Trim(line.substr(eq + 1)));
    }
    return sections;
}

uint32_t ParseColour(const std::string& value) {
    uint32_t rgb = 0;
    const char* first = value.data() + 1;
    const char* last = value.data() + value.size();
    if (value.size() != 7 || value[0] != '#' || std::from_chars(first, last, rgb, 16).ptr != last) {
        throw err::Make(err::kTypeMismatch);
    }
    // Stored as the platform's 0x00BBGGRR.
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

void Colour(const Section& s, const char* key, uint32_t& target) {
    if (auto it = s.find(key); it != s.end()) target = ParseColour(it->second);
}

void Face(const Section& s, ButtonFace& face) {
    Colour(s, "gradienttop", face.fill.top);
    Colour(s, "gradientbottom", face.fill.bottom);
    Colour(s, "border", face.border);
    Colour(s, "highlight", face.highlight);
    Colour(s, "text", face.text);
}

}  // namespace

DialogStyle ParseDialogStyle(std::string_view ini) {
    const auto sections = ReadIni(ini);
    const auto bar = sections.find("buttonbar");
    const auto button = sections.find("button");
    if (bar == sections.end() || button == sections.end()) throw err::Make(err::kInvalidCall);

    DialogStyle style;
    Colour(bar->second, "gradienttop", style.bar.top);
    Colour(bar->second, "gradientbottom", style.bar.bottom);
    Colour(bar->second, "edgelight", style.barEdgeLight);
    Colour(bar->second, "edgedark", style.barEdgeDark);

    Face(button->second, style.normal);
    if (auto it = button->second.find("cornerradius"); it != button->second.end()) {
        const std::string& v = it->second;
        if (std::from_chars(v.data(), v.data() + v.size(), style.cornerRadius).ptr !=
                v.data() + v.size() ||
            style.cornerRadius < 0 || style.cornerRadius > 16) {
            throw err::Make(err::kTypeMismatch);
        }
    }
    style.hot = style.pressed = style.disabled = style.normal;
    style.defaultBorder = style.normal.border;
    style.focus = style.normal.text;
    if (auto it = sections.find("button.hot"); it != sections.end()) Face(it->second, style.hot);
    if (auto it = sections.find("button.pressed"); it != sections.end())
        Face(it->second, style.pressed);
    if (auto it = sections.find("button.disabled"); it != sections.end())
        Face(it->second, style.disabled);
    if (auto it = sections.find("button.default"); it != sections.end())
        Colour(it->second, "border", style.defaultBorder);
    if (auto it = sections.find("button.focus"); it != sections.end())
        Colour(it->second, "color", style.focus);
    return style;
}

}  // namespace tav
