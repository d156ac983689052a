#include "scene/scene_loader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <limits>
#include <locale>
#include <sstream>
#include <streambuf>

#include "geometry/box.h"
#include "geometry/ellipsoid.h"
#include "geometry/icosahedron.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"
#include "scene/printable_text.h"

namespace lumivex {

namespace {

constexpr std::array<std::string_view, 9> kKeywords = {
    "SPHERE", "BOX", "POLYGON", "ELLIPSOID", "ICOSAHEDRON", "CAMERA", "LIGHT", "AMBIENT", "AIR"};

// Whitespace as the stream's classic locale sees it when it skips before a word or a number.
bool IsStreamSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A word as messages quote it: in single quotes, cut short after kShownWord bytes (before a
// character that would straddle the cut), with anything unprintable escaped.
constexpr std::size_t kShownWord = 24;
std::string Shown(std::string_view word) {
    std::size_t cut = std::min(word.size(), kShownWord);
    for (int back = 0; back < 3 && cut > 0 && cut < word.size() && IsContinuationByte(word[cut]);
         ++back) {
        --cut;
    }
    return "'" + PrintableText(word.substr(0, cut)) + (cut < word.size() ? "...'" : "'");
}

std::string ToUpper(std::string_view word) {
    std::string upper(word);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

// Optimal string alignment distance: the fewest letters added, dropped, changed or swapped with
// a neighbour (each once) that turn `a` into `b`. For words of a few letters only.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    std::vector<std::size_t> beforePrevious(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        current[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        beforePrevious.swap(previous);
        previous.swap(current);
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                current[j] = std::min(current[j], beforePrevious[j - 2] + 1);
            }
        }
    }
    return current[b.size()];
}

// The keyword a skipped word was most likely meant to be, or an empty view. Keywords are upper
// case and comments mostly are not, so only a word of three or more capitals A-Z counts, and
// not a keyword's plural (a heading such as LIGHTS). It must be one edit from a keyword (a
// letter added, dropped or changed, or two neighbours swapped: SPHER, LIGTH, CAMRA), or two from
// a keyword of six letters or more that it starts like (ELIPSOID, ICOSAHEDRN, but not WHERE); a
// word of three letters only one changed or swapped letter from BOX or AIR (BOC, ARI), as short
// words are near many others. The nearest keyword wins, the first listed on a tie.
std::string_view NearMissKeyword(std::string_view word) {
    constexpr std::size_t kShortestWord = 3;
    constexpr std::size_t kLongestKeyword = 11;
    if (word.size() < kShortestWord || word.size() > kLongestKeyword + 2 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
        return {};
    }
    std::string_view nearest;
    std::size_t nearestDistance = 3;
    for (const std::string_view keyword : kKeywords) {
        const bool plural =
            word.size() == keyword.size() + 1 && word.starts_with(keyword) && word.back() == 'S';
        if (plural || (word.size() <= kShortestWord && word.size() != keyword.size())) {
            continue;
        }
        const std::size_t allowed = keyword.size() >= 6 && word[0] == keyword[0] ? 2 : 1;
        const std::size_t distance = EditDistance(word, keyword);
        if (distance <= allowed && distance < nearestDistance) {
            nearest = keyword;
            nearestDistance = distance;
        }
    }
    return nearest;
}

// CR LF and a lone CR (old Mac line ends) become LF, so that files written on other systems read
// exactly like their LF twins; a leading UTF-8 byte-order mark is dropped. Files without a CR,
// the usual case, are only searched, never copied.
std::string NormalizeText(std::string text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::size_t read = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    const char* firstReturn =
        static_cast<const char*>(std::memchr(text.data() + read, '\r', text.size() - read));
    if (firstReturn == nullptr) {
        text.erase(0, read);
        return text;
    }
    std::size_t write = 0;
    for (; read < text.size(); ++read) {
        if (text[read] == '\r') {
            if (read + 1 < text.size() && text[read + 1] == '\n') {
                continue;
            }
            text[write++] = '\n';
            continue;
        }
        text[write++] = text[read];
    }
    text.resize(write);
    return text;
}

// A read-only stream buffer over text the reader owns; it knows its read position without
// going through the stream (whose tellg would disturb the state at end of file).
class TextBuffer : public std::streambuf {
  public:
    explicit TextBuffer(std::string& text) {
        char* begin = text.data();
        setg(begin, begin, begin + text.size());
    }
    std::size_t Position() const { return static_cast<std::size_t>(gptr() - eback()); }
    // Moves the read position to `offset` (at most the end of the text).
    void MoveTo(std::size_t offset) { setg(eback(), eback() + offset, egptr()); }
};

// What an entry item is, for messages: "radius of SPHERE", "y of centre of SPHERE",
// "vertex 3 of POLYGON".
struct Item {
    std::string_view name;
    std::string_view keyword;
    int vertex = 0;  // 1-based vertex number of a POLYGON, 0 otherwise
};

// Maps increasing text offsets to lines and columns in one pass over the text.
class LineCursor {
  public:
    explicit LineCursor(const std::string& text) : text(text) {}

    SceneDiagnostic At(std::size_t offset, std::string message) {
        if (offset < position) {
            position = 0;
            line = 1;
            lineStart = 0;
        }
        for (; position < offset && position < text.size(); ++position) {
            if (text[position] == '\n') {
                ++line;
                lineStart = position + 1;
            }
        }
        constexpr std::size_t kShownLine = 1000;
        const std::size_t lineEnd = text.find('\n', lineStart);
        const std::size_t length = std::min(
            (lineEnd == std::string::npos ? text.size() : lineEnd) - lineStart, kShownLine);
        return {line, static_cast<int>(offset - lineStart) + 1, std::move(message),
                text.substr(lineStart, length)};
    }

  private:
    const std::string& text;
    std::size_t position = 0;
    int line = 1;
    std::size_t lineStart = 0;
};

class SceneReader {
  public:
    SceneReader(std::string text, const std::atomic<bool>* stop)
        : text(NormalizeText(std::move(text))),
          buffer(this->text),
          stream(&buffer),
          lines(this->text),
          stop(stop) {
        stream.imbue(std::locale::classic());
    }

    SceneLoadResult Load();

  private:
    bool ReadEntry(std::string_view word, Scene& scene);
    void SkipLine(std::string_view word, std::size_t wordStart);
    bool StopRequested() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }

    float ReadNumber(const Item& item, std::string_view component = {});
    int ReadInteger(const Item& item);
    void ReadDelimiter(const Item& item);
    Vec4 ReadVector(const Item& item, float w);
    Color ReadColor(const Item& item);
    Material ReadMaterial(std::string_view keyword);

    std::size_t SkipSpaces(std::size_t offset) const;
    std::string Found(std::size_t start) const;
    // Records the first failed read: `range` names the range a number overflowed, if it did.
    void NoteFailure(std::size_t before, std::string_view expected, const Item& item,
                     std::string_view component, std::string_view range);
    void Warn(std::size_t offset, std::string message);

    std::string text;
    TextBuffer buffer;
    std::istream stream;
    LineCursor lines;
    const std::atomic<bool>* stop;
    std::optional<SceneDiagnostic> diagnostic;
    std::vector<SceneDiagnostic> warnings;
    std::size_t unlistedWarnings = 0;
};

SceneLoadResult SceneReader::Load() {
    SceneLoadResult result{std::make_unique<Scene>(), {}, {}};
    for (;;) {
        // A stream that has failed or met the end of the file reads no further word.
        if (!stream.good()) {
            break;
        }
        if (StopRequested()) {
            result.stopped = true;
            break;
        }
        // The next whitespace-separated word, as `stream >> word` would read it, but seen in
        // place: a word may be as long as the file, and copying it would double the memory.
        const std::size_t start = SkipSpaces(buffer.Position());
        if (start == text.size()) {
            break;
        }
        std::size_t end = start;
        while (end < text.size() && !IsStreamSpace(text[end])) {
            ++end;
        }
        const std::string_view word(text.data() + start, end - start);
        if (end == text.size()) {
            // A word that ends exactly at the end of the file is not acted on. If it was a
            // keyword, its entry is missing.
            if (!diagnostic &&
                std::find(kKeywords.begin(), kKeywords.end(), word) != kKeywords.end()) {
                diagnostic = lines.At(
                    start, "expected the data of " + std::string(word) + ", found end of file");
            }
            break;
        }
        buffer.MoveTo(end);
        if (ReadEntry(word, *result.scene)) {
            ++result.entries;
        } else {
            SkipLine(word, start);
        }
    }

    if (unlistedWarnings > 0) {
        warnings.back().message = std::to_string(unlistedWarnings) +
                                  " more skipped lines look like mistakes; they are not listed";
    }
    const std::size_t firstWord = SkipSpaces(0);
    if (result.entries == 0 && !result.stopped && !diagnostic && firstWord < text.size()) {
        result.noEntry = true;
        warnings.insert(warnings.begin(),
                        lines.At(firstWord,
                                 "not one scene entry in the file (entries start with SPHERE, "
                                 "BOX, POLYGON, ELLIPSOID, ICOSAHEDRON, CAMERA, LIGHT, AMBIENT or "
                                 "AIR); is this a scene file?"));
    } else if (result.scene->objects.empty() && !result.stopped && !diagnostic) {
        // Said once, just past the last thing in the file, where it was read to its end; beyond
        // the listed warnings' limit, as it is about the whole file. Text without an entry has
        // its own warning above, and a file whose reading stopped early has its error, which
        // explains a scene that lacks what follows.
        std::size_t end = text.size();
        while (end > 0 && IsStreamSpace(text[end - 1])) {
            --end;
        }
        warnings.push_back(lines.At(end,
                                    "the scene has no objects (no SPHERE, BOX, POLYGON, "
                                    "ELLIPSOID or ICOSAHEDRON entry); the picture will "
                                    "show only the background"));
    }
    result.diagnostic = std::move(diagnostic);
    result.warnings = std::move(warnings);
    return result;
}

bool SceneReader::ReadEntry(std::string_view word, Scene& scene) {
    if (word == "SPHERE") {
        const Vec4 centre = ReadVector({"centre", word}, 1.0f);
        const float radius = ReadNumber({"radius", word});
        scene.AddObject(Sphere(centre, radius, ReadMaterial(word)));
    } else if (word == "BOX") {
        const Vec4 corner = ReadVector({"corner", word}, 1.0f);
        const Vec4 edge1 = ReadVector({"edge 1", word}, 0.0f);
        const Vec4 edge2 = ReadVector({"edge 2", word}, 0.0f);
        const Vec4 edge3 = ReadVector({"edge 3", word}, 0.0f);
        scene.AddObject(Box(corner, edge1, edge2, edge3, ReadMaterial(word)));
    } else if (word == "POLYGON") {
        const int count = ReadInteger({"vertex count", word});
        // Vertices are stored as they are read, never reserved for the count: a huge count in
        // a short file must not allocate. Once the stream has failed, no further vertex is
        // added (the one during which it failed still is).
        std::vector<Vec4> vertices;
        for (int i = 0; i < count; ++i) {
            vertices.push_back(ReadVector({"vertex", word, i + 1}, 1.0f));
            if (stream.fail() || StopRequested()) {
                break;
            }
        }
        scene.AddObject(Polygon3D(vertices, ReadMaterial(word)));
    } else if (word == "ELLIPSOID") {
        const Vec4 centre = ReadVector({"centre", word}, 1.0f);
        const Vec4 axis1 = ReadVector({"axis 1", word}, 0.0f);
        const Vec4 axis2 = ReadVector({"axis 2", word}, 0.0f);
        const Vec4 axis3 = ReadVector({"axis 3", word}, 0.0f);
        scene.AddObject(Ellipsoid(centre, axis1, axis2, axis3, ReadMaterial(word)));
    } else if (word == "ICOSAHEDRON") {
        const Vec4 centre = ReadVector({"centre", word}, 1.0f);
        const float radius = ReadNumber({"radius", word});
        scene.AddObject(Icosahedron(radius, centre, ReadMaterial(word)));
    } else if (word == "CAMERA") {
        const Vec4 centre = ReadVector({"centre", word}, 1.0f);
        const Vec4 right = ReadVector({"right", word}, 0.0f);
        const Vec4 up = ReadVector({"up", word}, 0.0f);
        const Vec4 eyeOffset = ReadVector({"eye offset", word}, 0.0f);
        scene.camera = Camera(centre, right, up, eyeOffset);
    } else if (word == "LIGHT") {
        Light light;
        light.position = ReadVector({"position", word}, 1.0f);
        light.color = ReadColor({"colour", word});
        light.radius = ReadNumber({"radius", word});
        scene.AddLight(light);
    } else if (word == "AMBIENT") {
        scene.ambient = ReadColor({"colour", word});
    } else if (word == "AIR") {
        const float permittivity = ReadNumber({"permittivity", word});
        const float permeability = ReadNumber({"permeability", word});
        const Color attenuation = ReadColor({"attenuation", word});
        scene.air = Air(permittivity, permeability, attenuation);
    } else {
        return false;
    }
    return true;
}

// Skips the rest of the line after a word that is not a keyword, whatever the line's length,
// and warns when the word looks like a mistake rather than a comment.
void SceneReader::SkipLine(std::string_view word, std::size_t wordStart) {
    // No keyword is longer than 11 letters: a longer word is compared by its start only.
    const std::string upper = ToUpper(word.substr(0, 12));
    const std::string shown = Shown(word);
    const auto keyword = std::find(kKeywords.begin(), kKeywords.end(), upper);
    if (keyword != kKeywords.end()) {
        Warn(wordStart, shown + " is not a keyword (keywords are upper case: " +
                            std::string(*keyword) + "); the rest of the line is skipped");
    } else {
        const auto glued = std::find_if(kKeywords.begin(), kKeywords.end(), [&](auto k) {
            return upper.starts_with(k) &&
                   !std::isalnum(static_cast<unsigned char>(upper[k.size()])) &&
                   upper[k.size()] != '_';
        });
        const char first = word[0];
        const char second = word.size() > 1 ? word[1] : '\0';
        const bool startsLikeNumber =
            IsDigit(first) ||
            ((first == '-' || first == '+' || first == '.') && (IsDigit(second) || second == '.'));
        const bool startsWithDelimiter =
            std::string_view("([{<)]}>,;|").find(first) != std::string_view::npos;
        const std::string_view nearMiss = NearMissKeyword(word);
        if (glued != kKeywords.end()) {
            Warn(wordStart, shown + " is not a keyword (put a space after " + std::string(*glued) +
                                "); the rest of the line is skipped");
        } else if (!nearMiss.empty()) {
            Warn(wordStart, shown + " is not a keyword (did you mean " + std::string(nearMiss) +
                                "?); the rest of the line is skipped");
        } else if (startsLikeNumber || startsWithDelimiter) {
            Warn(wordStart, shown +
                                " looks like data but is not part of an entry; the rest of the "
                                "line is skipped");
        }
    }
    // On to the next line, or to the end of a file whose last line this is.
    const std::size_t from = buffer.Position();
    const void* lineEnd = std::memchr(text.data() + from, '\n', text.size() - from);
    if (lineEnd == nullptr) {
        buffer.MoveTo(text.size());
        stream.setstate(std::ios::eofbit);
    } else {
        buffer.MoveTo(static_cast<std::size_t>(static_cast<const char*>(lineEnd) - text.data()) +
                      1);
    }
}

float SceneReader::ReadNumber(const Item& item, std::string_view component) {
    const std::size_t before = buffer.Position();
    float value = 0.0f;
    stream >> value;
    if (stream.fail()) {
        // The stream stores the largest float for a number outside the float range; an item
        // that could not be read is 0 whatever the reason.
        const bool outOfRange = value == std::numeric_limits<float>::max() ||
                                value == -std::numeric_limits<float>::max();
        NoteFailure(before, "a number", item, component, outOfRange ? "a float" : "");
        value = 0.0f;
    }
    return value;
}

int SceneReader::ReadInteger(const Item& item) {
    const std::size_t before = buffer.Position();
    int value = 0;
    stream >> value;
    if (stream.fail()) {
        const bool outOfRange =
            value == std::numeric_limits<int>::max() || value == std::numeric_limits<int>::min();
        NoteFailure(before, "an integer", item, {}, outOfRange ? "an integer" : "");
        value = 0;
    }
    return value;
}

// Any single non-whitespace character delimits, and it is not checked: (1,2,3), <1;2;3> and
// [1|2|3] all read alike.
void SceneReader::ReadDelimiter(const Item& item) {
    const std::size_t before = buffer.Position();
    char delimiter;
    stream >> delimiter;
    if (stream.fail()) {
        NoteFailure(before, "a delimiter of a vector", item, {}, {});
    }
}

Vec4 SceneReader::ReadVector(const Item& item, float w) {
    Vec4 v{0.0f, 0.0f, 0.0f, w};
    float* components[3] = {&v.x, &v.y, &v.z};
    constexpr std::string_view kNames[3] = {"x", "y", "z"};
    ReadDelimiter(item);
    for (int i = 0; i < 3; ++i) {
        *components[i] = ReadNumber(item, kNames[i]);
        ReadDelimiter(item);
    }
    return v;
}

Color SceneReader::ReadColor(const Item& item) {
    const Vec4 v = ReadVector(item, 1.0f);
    return {v.x, v.y, v.z, 1.0f};
}

Material SceneReader::ReadMaterial(std::string_view keyword) {
    const Color diffuse = ReadColor({"diffuse colour", keyword});
    const float specularCoefficient = ReadNumber({"specular coefficient", keyword});
    const float specularExponent = ReadNumber({"specular exponent", keyword});
    const Color attenuation = ReadColor({"attenuation", keyword});
    const float permittivity = ReadNumber({"permittivity", keyword});
    const float permeability = ReadNumber({"permeability", keyword});

    // The optional roughness: only blanks, tabs and line ends are skipped to look for it (so it
    // may start the next line), and only a digit, '.' or '-' starts it; '+' does not.
    float roughness = 0.0f;
    for (int c = stream.peek(); c == ' ' || c == '\n' || c == '\t'; c = stream.peek()) {
        stream.get();
    }
    const int next = stream.peek();
    if ((next >= '0' && next <= '9') || next == '.' || next == '-') {
        roughness = ReadNumber({"roughness", keyword});
    }
    return Material(diffuse, specularCoefficient, specularExponent, attenuation, permittivity,
                    permeability, roughness);
}

std::size_t SceneReader::SkipSpaces(std::size_t offset) const {
    while (offset < text.size() && IsStreamSpace(text[offset])) {
        ++offset;
    }
    return offset;
}

std::string SceneReader::Found(std::size_t start) const {
    if (start >= text.size()) {
        return "end of file";
    }
    std::size_t end = start;
    while (end < text.size() && !IsStreamSpace(text[end]) && end - start <= kShownWord) {
        ++end;
    }
    return Shown(std::string_view(text).substr(start, end - start));
}

void SceneReader::NoteFailure(std::size_t before, std::string_view expected, const Item& item,
                              std::string_view component, std::string_view range) {
    if (diagnostic) {
        return;  // every read after the first failure fails at once
    }
    std::size_t start = SkipSpaces(before);
    std::string what(item.name);
    if (item.vertex > 0) {
        what += " " + std::to_string(item.vertex);
    }
    if (!component.empty()) {
        what = std::string(component) + " of " + what;
    }
    std::string message = "expected " + std::string(expected) + " (" + what + " of " +
                          std::string(item.keyword) + "), found " + Found(start);
    if (!range.empty()) {
        message += ", which is outside the range of " + std::string(range);
    }
    if (start >= text.size()) {
        // Point just past the last thing in the file rather than at an empty last line.
        while (start > 0 && IsStreamSpace(text[start - 1])) {
            --start;
        }
    }
    diagnostic = lines.At(start, std::move(message));
}

void SceneReader::Warn(std::size_t offset, std::string message) {
    if (warnings.size() < kMaxListedWarnings) {
        warnings.push_back(lines.At(offset, std::move(message)));
    } else if (unlistedWarnings++ == 0) {
        // Placeholder at the first unlisted place; its message is filled in with the count.
        warnings.push_back(lines.At(offset, {}));
    }
}

}  // namespace

SceneLoadResult LoadSceneText(std::string text, const std::atomic<bool>* stop) {
    return SceneReader(std::move(text), stop).Load();
}

SceneLoadResult LoadScene(std::istream& stream) {
    std::ostringstream text;
    if (stream.rdbuf() != nullptr) {
        text << stream.rdbuf();
    }
    return LoadSceneText(std::move(text).str());
}

namespace {

// A line of the file as shown under a message: escaped as PrintableText does, except that its
// tabs are kept, so that it lines up on a terminal as it does in an editor.
std::string ShownLine(std::string_view line) {
    std::string shown;
    for (std::size_t tab; (tab = line.find('\t')) != std::string_view::npos;) {
        shown += PrintableText(line.substr(0, tab)) + '\t';
        line.remove_prefix(tab + 1);
    }
    return shown + PrintableText(line);
}

}  // namespace

std::string FormatDiagnostic(std::string_view fileName, const SceneDiagnostic& diagnostic,
                             std::string_view severity) {
    std::ostringstream out;
    out << PrintableText(fileName) << ':' << diagnostic.line << ':' << diagnostic.column << ": "
        << severity << ": " << PrintableText(diagnostic.message) << '\n';
    // The line is shown in two parts split at the column, so that the caret goes under the
    // escaped text of the column's own byte, whatever was escaped before it.
    const std::size_t column = static_cast<std::size_t>(std::max(diagnostic.column, 1)) - 1;
    const std::string_view line = diagnostic.lineText;
    const std::size_t split = std::min(column, line.size());
    const std::string before = ShownLine(line.substr(0, split));
    const std::string gutter = std::to_string(diagnostic.line);
    out << ' ' << gutter << " | " << before << ShownLine(line.substr(split)) << '\n';
    out << ' ' << std::string(gutter.size(), ' ') << " | ";
    // One blank per character before the caret (a character of several UTF-8 bytes takes one
    // place), and tabs kept as tabs.
    for (const char c : before) {
        if (!IsContinuationByte(c)) {
            out << (c == '\t' ? '\t' : ' ');
        }
    }
    out << "^\n";
    return std::move(out).str();
}

}  // namespace lumivex
