// Reading scene files: the documented example, and for other texts what was loaded, where
// reading stopped and which skipped lines drew a warning.
#include "scene/scene_loader.h"

#include <fstream>
#include <sstream>

#include "geometry/ellipsoid.h"
#include "geometry/icosahedron.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"
#include "render_support.h"
#include "scene/printable_text.h"
#include "test_support.h"

namespace lumivex {
namespace {

// The documented example, which ends in a line the loader skips.
const std::string kWorkedExample = testing::ExampleText("worked-example");

const std::string kSphereLine = "SPHERE (0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 1 1";  // 43 bytes

std::string SphereOfRadius(const std::string& radius) {
    return "SPHERE (0,0,0) " + radius + " (1,0,0) 0.5 20 (1,1,1) 1 1\n";
}

std::string Xyz(const Vec4& v) {
    std::ostringstream out;
    out << '(' << v.x << ',' << v.y << ',' << v.z << ')';
    return out.str();
}

// A load in one line: what differs from the default scene (camera centre, ambient, air index,
// each light, each object; a sphere with centre, radius and any roughness), then where reading
// stopped, where each warning points, and whether the text looked like no scene file at all.
std::string Account(const SceneLoadResult& result) {
    const Scene& scene = *result.scene;
    std::ostringstream out;
    const char* separator = "";
    const auto item = [&]() -> std::ostream& { return out << std::exchange(separator, ", "); };
    if (scene.camera.centre != Point(0, 0, 0)) {
        item() << "camera " << Xyz(scene.camera.centre);
    }
    if (scene.ambient != Color{0, 0, 0, 1}) {
        const Color& a = scene.ambient;
        item() << "ambient " << Xyz({a.r, a.g, a.b});
    }
    if (scene.air.refractiveIndex != 1) {
        item() << "air " << scene.air.refractiveIndex;
    }
    for (const Light& light : scene.lights) {
        item() << "light " << Xyz(light.position) << ' ' << light.radius;
    }
    for (const auto& object : scene.objects) {
        const char* const kinds[] = {"sphere", "box", "ellipsoid", "polygon", "icosahedron"};
        item() << kinds[static_cast<int>(object->GetKind())];
        if (const auto* sphere = dynamic_cast<const Sphere*>(object.get())) {
            out << ' ' << Xyz(sphere->GetCentre()) << ' ' << sphere->GetRadius();
            if (sphere->GetMaterial().roughness != 0) {
                out << " rough " << sphere->GetMaterial().roughness;
            }
        } else if (const auto* polygon = dynamic_cast<const Polygon3D*>(object.get())) {
            out << " of " << polygon->GetVertices().size();
        }
    }
    if (result.diagnostic) {
        out << "; error " << result.diagnostic->line << ':' << result.diagnostic->column;
    }
    for (const SceneDiagnostic& warning : result.warnings) {
        out << "; warning " << warning.line << ':' << warning.column;
    }
    out << (result.noEntry ? "; no entry" : "");
    return out.str();
}

struct Load {
    std::string text;
    std::string account;
    std::string message = "";  // part of the diagnostic's message, or else the first warning's
};

void ExpectLoads(const std::vector<Load>& cases) {
    for (const Load& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 100));
        const SceneLoadResult result = LoadSceneText(c.text);
        EXPECT_EQ(Account(result), c.account);
        const std::string first = result.diagnostic         ? result.diagnostic->message
                                  : result.warnings.empty() ? ""
                                                            : result.warnings[0].message;
        EXPECT_THAT(first, ::testing::HasSubstr(c.message));
    }
}

// A comment runs to the line end, whatever ends it, and an entry and its roughness may span
// lines; CR LF, a lone CR and a leading byte-order mark read like plain line ends.
TEST(SceneLoader, ReadsTheWorkedExampleAsDocumentedWithAnyLineEnds) {
    std::string plain = kWorkedExample;
    plain.insert(plain.find('\n') + 1, "# " + std::string(400, 'x') + "\n");
    plain += "SPHERE (0,0,0)\n  2 (1,0,0)\n\t0.5 20 (1,1,1) 1 1\n0.25\n0.5 stray\n";
    for (const std::string lineEnd : {"\n", "\r\n", "\r"}) {
        std::string text = "\xEF\xBB\xBF";
        for (const char c : plain) {
            text += c == '\n' ? lineEnd : std::string(1, c);
        }
        const SceneLoadResult result = LoadSceneText(text);
        EXPECT_EQ(result.entries, 10u);
        EXPECT_EQ(Account(result),
                  "camera (0,0,-8), ambient (0.1,0.1,0.1), light (0,10,-10) 0.5, sphere (0,0,0) 2, "
                  "box, polygon of 3, ellipsoid, icosahedron, sphere (0,0,0) 2 rough 0.25; "
                  "warning 16:1");
        // Every shape reads its material alike; these two tell all seven fields apart.
        ASSERT_EQ(result.scene->objects.size(), 6u);
        EXPECT_EQ(dynamic_cast<const Ellipsoid&>(*result.scene->objects[3]).GetMaterial(),
                  Material({0, 0, 1, 1}, 0.2f, 10, {1, 1, 1, 1}, 2.25f, 1, 0));
        EXPECT_EQ(dynamic_cast<const Icosahedron&>(*result.scene->objects[4]).GetMaterial(),
                  Material({1, 1, 0, 1}, 0.3f, 5, {0.9f, 0.9f, 0.9f, 1}, 1, 1, 0));
    }
}

// Reading stops at the first item that cannot be read: that entry is still applied, its unread
// items 0, and everything before it is kept. Later settings replace earlier ones.
TEST(SceneLoader, StopsAtTheFirstUnreadableItemKeepingWhatCameBefore) {
    ExpectLoads({
        {"AMBIENT (0.5,0.5,0.5)\nSPHERE (1,2,3) x (1,0,0) 0.5 20 (1,1,1) 1 1\nLIGHT (0,1,0) "
         "(1,1,1) 0",
         "ambient (0.5,0.5,0.5), sphere (1,2,3) 0; error 2:16",
         "expected a number (radius of SPHERE), found 'x'"},
        // At the end of the file the diagnostic points just past the last word.
        {"AMBIENT (0.5,0.5,0.5)\nLIGHT (0,1,0)\n\n\n",
         "ambient (0.5,0.5,0.5), light (0,1,0) 0; error 2:14",
         "expected a delimiter of a vector (colour of LIGHT), found end of file"},
        {"AMBIENT (0.5,0.5,0.5)\nAIR", "ambient (0.5,0.5,0.5); error 2:1",
         "expected the data of AIR, found end of file"},
        {kSphereLine, "sphere (0,0,0) 2"},  // the last number may end the file
        // Without delimiters, digits are taken for them and the reading goes astray.
        {"AMBIENT 1 2 3\n", "ambient (2,0,0); error 1:14", "(y of colour of AMBIENT)"},
        {"AMBIENT (0.2,0.2,0.2)\nAIR 2 2 (1,1,1)\nAMBIENT (0.3,0.3,0.3)\nAIR 3 3 (1,1,1)\n",
         "ambient (0.3,0.3,0.3), air 3; warning 4:16"},
        // POLYGON reads exactly its count of vertices, none for 0 or less, and allocates
        // nothing for a huge count: the file ends during vertex 3, which is still added.
        {"POLYGON 0 (1,1,1) 0 1 (1,1,1) 1 1\n", "polygon of 0"},
        {"POLYGON -3 (1,1,1) 0 1 (1,1,1) 1 1\n", "polygon of 0"},
        {"AMBIENT (0.5,0.5,0.5)\nPOLYGON 2000000000 (0,0,5) (1,0,5)\n",
         "ambient (0.5,0.5,0.5), polygon of 3; error 2:35", "(vertex 3 of POLYGON), found end"},
        {"POLYGON 99999999999 (0,0,5)\n", "polygon of 0; error 1:9",
         "expected an integer (vertex count of POLYGON), found '99999999999', which is outside "
         "the range of an integer"},
    });
}

// Numbers are read as a stream reads a float; any single character delimits a vector; the
// optional roughness is looked for across blanks, tabs and line ends only, and only a digit,
// '.' or '-' starts it.
TEST(SceneLoader, ReadsNumbersDelimitersAndTheOptionalRoughness) {
    ExpectLoads({
        {SphereOfRadius("-1.5e1"), "sphere (0,0,0) -15"},
        {SphereOfRadius(".5"), "sphere (0,0,0) 0.5"},
        {SphereOfRadius("1e-50"), "sphere (0,0,0) 0"},  // underflow is no failure
        {SphereOfRadius("1e"), "sphere (0,0,0) 0; error 1:16", "found '1e'"},
        {SphereOfRadius("inf"), "sphere (0,0,0) 0; error 1:16", "found 'inf'"},
        {SphereOfRadius("1e40"), "sphere (0,0,0) 0; error 1:16",
         "expected a number (radius of SPHERE), found '1e40', which is outside the range of a "
         "float"},
        {SphereOfRadius("-1e40"), "sphere (0,0,0) 0; error 1:16", "outside the range of a float"},
        // Quoted words keep printable UTF-8 and show anything else escaped.
        {SphereOfRadius("\xC3\xA9\x80\x1B"), "sphere (0,0,0) 0; error 1:16",
         "found '\xC3\xA9\\x80\\x1B'"},
        {"AMBIENT ( 1 , 2 , 3 ) AMBIENT x4x5x6x", "ambient (4,5,6); warning 1:38"},
        {"\fAMBIENT\v(1,\f2,\r3)\n", "ambient (1,2,3); warning 2:3"},
        {"LIGHT (0,10,-10)(1,1,1)0.5\n", "light (0,10,-10) 0.5; warning 1:27"},
        {kSphereLine + "\t\n \t0.25\n", "sphere (0,0,0) 2 rough 0.25"},
        {kSphereLine + "\n\n.5 is taken\n", "sphere (0,0,0) 2 rough 0.5"},
        {kSphereLine + "\n-0.5\n", "sphere (0,0,0) 2 rough -0.5"},
        {kSphereLine + " +0.25\nAMBIENT (1,1,1)\n",
         "ambient (1,1,1), sphere (0,0,0) 2; warning 1:45", "'+0.25' looks like data"},
        {kSphereLine + "\v0.25\n", "sphere (0,0,0) 2; warning 1:45", "'0.25' looks like data"},
    });
}

// Any other word skips the rest of its line; a warning says so where the word looks like a
// mistake rather than a comment, and text with words but no entry is most likely no scene file.
TEST(SceneLoader, SkipsOtherWordsToTheLineEndWarningAboutLikelyMistakes) {
    const std::string skipped = "; the rest of the line is skipped";
    ExpectLoads({
        {"# AIR 2 2 (1,1,1)\n-- other\n// styles\nNotes: 3\nSPHERES 1\nAIR_2 2\n.x 1\nv2 x\n"
         "AIR 2 2 (1,1,1)",
         "air 2; warning 9:16"},
        {"sphere (0,0,0) 2 (1,0,0)\nAIR 2 2 (1,1,1)", "air 2; warning 1:1; warning 2:16",
         "'sphere' is not a keyword (keywords are upper case: SPHERE)" + skipped},
        {"SPHERE(0,0,0) 2 (1,0,0)\nAIR 2 2 (1,1,1)", "air 2; warning 1:1; warning 2:16",
         "'SPHERE(0,0,0)' is not a keyword (put a space after SPHERE)" + skipped},
        {"(1,2,3) stray\n  0.3 stray\n<a;b;c>\n-.5\n+1\nAIR 2 2 (1,1,1)",
         "air 2; warning 1:1; warning 2:3; warning 3:1; warning 4:1; warning 5:1; warning 6:16",
         "'(1,2,3)' looks like data but is not part of an entry" + skipped},
        {std::string(24, '9') + "\nAIR 2 2 (1,1,1)", "air 2; warning 1:1; warning 2:16",
         "'" + std::string(24, '9') + "' looks like data"},
        {std::string(100000, '9') + " x\nAIR 2 2 (1,1,1)", "air 2; warning 1:1; warning 2:16",
         "'" + std::string(24, '9') + "...' looks like data"},
        // A scene without objects draws one warning, just past its last word; text with no
        // entry at all only the warning that it may be no scene file.
        {"", "; warning 1:1",
         "the scene has no objects (no SPHERE, BOX, POLYGON, ELLIPSOID or ICOSAHEDRON entry); "
         "the picture will show only the background"},
        {"\n\n   \t\r  ", "; warning 1:1"},
        {"CAMERA (0,0,-8) (1,0,0) (0,1,0) (0,0,-1)\nAMBIENT (1,1,1) # all\n\n",
         "camera (0,0,-8), ambient (1,1,1); warning 2:22", "the scene has no objects"},
        {"\n  # nothing here\n// nor here\n", "; warning 2:3; no entry",
         "not one scene entry in the file (entries start with SPHERE, BOX, POLYGON, ELLIPSOID, "
         "ICOSAHEDRON, CAMERA, LIGHT, AMBIENT or AIR); is this a scene file?"},
        {"\n# nothing\n0.5 here\n", "; warning 2:1; warning 3:1; no entry",
         "is this a scene file?"},
        {"\x89PNG\r\n\x1a\n", "; warning 1:1; no entry", "is this a scene file?"},
        {"# a sphere\nSPHERE (0,0", "sphere (0,0,0) 0; error 2:12"},  // an entry, if cut short
    });
}

// Words in capitals a letter or two from a keyword are taken for mistakes; others, plurals and
// words not in capitals for comments (or for keywords in the wrong case, as "box" is).
TEST(SceneLoader, WarnsAboutNearMissesOfKeywords) {
    const std::pair<std::string, std::string> words[] = {{"SPHER", "SPHERE"},
                                                         {"ICOSAHEDRN", "ICOSAHEDRON"},
                                                         {"ELIPSOID", "ELLIPSOID"},
                                                         {"POLYGN", "POLYGON"},
                                                         {"CAMRA", "CAMERA"},
                                                         {"LIGTH", "LIGHT"},
                                                         {"BOY", "BOX"},
                                                         {"ARI", "AIR"},
                                                         {"AMBEINTT", "AMBIENT"},
                                                         {"SPHERS", "SPHERE"},  // an S, no plural
                                                         {"SPHERES", ""},
                                                         {"LIGHTS", ""},
                                                         {"WHERE", ""},
                                                         {"BOXES", ""},
                                                         {"AI", ""},
                                                         {"LIGTH2", ""},
                                                         {"Spher", ""},
                                                         {"camra", ""},
                                                         {"ligth", ""}};
    for (const auto& [word, keyword] : words) {
        const auto result = LoadSceneText(word + " (0,0,0) 2\n" + kSphereLine);
        EXPECT_EQ(result.warnings.empty() ? "" : result.warnings[0].message,
                  keyword.empty() ? ""
                                  : "'" + word + "' is not a keyword (did you mean " + keyword +
                                        "?); the rest of the line is skipped");
    }
}

// Unprintable bytes show as \t, \n, \r or \xNN; printable UTF-8 and backslashes stay.
TEST(SceneLoader, PrintableTextEscapesWhatATerminalWouldActOn) {
    const std::pair<std::string, std::string> texts[] = {
        {"a\tb\nc\rd\x7F\x01\\x41", "a\\tb\\nc\\rd\\x7F\\x01\\x41"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"\xC2\x85\xE2\x80\xAE\xE2\x80\xA8",
         "\\xC2\\x85\\xE2\\x80\\xAE\\xE2\\x80\\xA8"},  // C1, bidi, separator
        {"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80", "\\xC0\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80"},
        {"\xE2\x82x\x80\xC3", "\\xE2\\x82x\\x80\\xC3"},  // cut short, stray
    };
    for (const auto& [text, shown] : texts) {
        EXPECT_EQ(PrintableText(text), shown);
    }
}

TEST(SceneLoader, ListsAHundredWarningsAndCountsTheRest) {
    std::string text;
    for (int i = 0; i < 250; ++i) {
        text += "box\n";
    }
    const auto result = LoadSceneText(text + kSphereLine);
    ASSERT_EQ(result.warnings.size(), kMaxListedWarnings + 1);
    EXPECT_EQ(result.warnings[99].line, 100);
    EXPECT_EQ(result.warnings.back().line, 101);
    EXPECT_EQ(result.warnings.back().message,
              "150 more skipped lines look like mistakes; they are not listed");
}

// The worked example cut at every token boundary inside every entry: everything before the
// entry is kept, the entry itself is still applied, and the diagnostic points at its line.
TEST(SceneLoader, FileTruncatedInsideAnyEntry) {
    std::istringstream in(kWorkedExample);
    std::string before;
    int lineNumber = 1;
    for (std::string line; std::getline(in, line) && !line.starts_with("comment"); ++lineNumber) {
        const std::size_t objectsBefore = LoadSceneText(before).scene->objects.size();
        const auto isBoundary = [](char c) {
            return std::string_view(" (,)").find(c) != std::string_view::npos;
        };
        for (std::size_t cut = line.find(' ') + 1; cut < line.size(); ++cut) {
            if (!isBoundary(line[cut - 1]) && !isBoundary(line[cut])) {
                continue;  // inside a number: a shorter number may still read
            }
            if (line.starts_with("BOX") && cut >= line.size() - 4) {
                continue;  // only the optional roughness is missing
            }
            const SceneLoadResult result = LoadSceneText(before + line.substr(0, cut));
            SCOPED_TRACE(line.substr(0, cut));
            ASSERT_TRUE(result.diagnostic);
            EXPECT_EQ(result.diagnostic->line, lineNumber);
            EXPECT_TRUE(result.diagnostic->message.ends_with("found end of file"));
            EXPECT_EQ(result.scene->objects.size(), objectsBefore + (lineNumber >= 5 ? 1 : 0));
        }
        before += line + "\n";
    }
}

TEST(SceneLoader, GivesUpWhenAskedToStop) {
    const std::atomic<bool> stop{true};
    const auto result = LoadSceneText(kSphereLine + "\n" + kSphereLine, &stop);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(Account(result), "");
}

TEST(SceneLoader, AStreamReadsLikeItsTextAndAnUnreadableOneLikeAnEmptyFile) {
    std::ifstream missing("/nonexistent/scene.txt");
    EXPECT_EQ(Account(LoadScene(missing)), Account(LoadSceneText("")));
    std::istringstream stream(kWorkedExample);
    EXPECT_EQ(Account(LoadScene(stream)), Account(LoadSceneText(kWorkedExample)));
}

// The name, message and line show unprintable bytes escaped, the caret under the escaped text
// of its column; tabs stay, so that the caret lines up on a terminal.
TEST(SceneLoader, FormatsDiagnosticsAsCompilersDoWithTheCaretUnderTheColumn) {
    const auto result = LoadSceneText(
        "AMBIENT (0.5,0.5,0.5)\n\tSPHERE \x01"
        "1,2,3) x\x7F (1,0,0)\n");
    ASSERT_TRUE(result.diagnostic);
    EXPECT_EQ(FormatDiagnostic("scene\x1B.txt", *result.diagnostic, "error"),
              "scene\\x1B.txt:2:17: error: expected a number (radius of SPHERE), found 'x\\x7F'\n"
              " 2 | \tSPHERE \\x011,2,3) x\\x7F (1,0,0)\n"
              "   | \t                  ^\n");
}

}  // namespace
}  // namespace lumivex
