#include "scene/scene_loader.h"

#include <fstream>
#include <random>
#include <sstream>

#include "geometry/box.h"
#include "geometry/ellipsoid.h"
#include "geometry/icosahedron.h"
#include "geometry/polygon3d.h"
#include "geometry/sphere.h"
#include "test_support.h"

namespace lumivex {
namespace {

const char* const kWorkedExample =
    "CAMERA (0,0,-8) (1,0,0) (0,1,0) (0,0,-2)\n"
    "AMBIENT (0.1,0.1,0.1)\n"
    "LIGHT (0,10,-10) (1,1,1) 0.5\n"
    "AIR 1 1 (1,1,1)\n"
    "SPHERE (0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 1 1\n"
    "BOX (-1,-1,3) (2,0,0) (0,2,0) (0,0,2) (0,1,0) 0 1 (1,1,1) 1 1 0.1\n"
    "POLYGON 3 (0,0,5) (1,0,5) (0,1,5) (0.8,0.8,0.8) 0 1 (1,1,1) 1 1\n"
    "ELLIPSOID (3,0,0) (1,0,0) (0,2,0) (0,0,1) (0,0,1) 0.2 10 (1,1,1) 2.25 1\n"
    "ICOSAHEDRON (-3,0,0) 1.5 (1,1,0) 0.3 5 (0.9,0.9,0.9) 1 1\n"
    "comment: this line is skipped because its first word is no keyword\n";

const char* const kSphereLine = "SPHERE (0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 1 1";

template <typename Shape>
const Shape& ObjectAs(const Scene& scene, std::size_t index) {
    const auto* shape = dynamic_cast<const Shape*>(scene.objects.at(index).get());
    if (shape == nullptr) {
        throw std::runtime_error("object " + std::to_string(index) + " has another type");
    }
    return *shape;
}

void ExpectSameScene(const Scene& a, const Scene& b) {
    ASSERT_EQ(a.objects.size(), b.objects.size());
    ASSERT_EQ(a.lights.size(), b.lights.size());
    EXPECT_EQ(a.camera.centre, b.camera.centre);
    EXPECT_EQ(a.ambient, b.ambient);
    EXPECT_EQ(a.air.attenuation, b.air.attenuation);
    for (std::size_t i = 0; i < a.objects.size(); ++i) {
        EXPECT_EQ(a.objects[i]->GetBoundingSphere(), b.objects[i]->GetBoundingSphere()) << i;
        Ray probe{Point(0, 0, -10), Direction(0, 0, 1)};
        Ray probe2 = probe;
        EXPECT_EQ(a.objects[i]->Intersect(probe).material, b.objects[i]->Intersect(probe2).material)
            << i;
    }
}

TEST(SceneLoader, ReadsTheWorkedExampleAsDocumented) {
    const SceneLoadResult result = LoadSceneText(kWorkedExample);
    const Scene& scene = *result.scene;
    EXPECT_FALSE(result.diagnostic.has_value());
    EXPECT_TRUE(result.warnings.empty());

    EXPECT_EQ(scene.camera.centre, Point(0, 0, -8));
    EXPECT_EQ(scene.camera.right, Direction(1, 0, 0));
    EXPECT_EQ(scene.camera.up, Direction(0, 1, 0));
    EXPECT_EQ(scene.camera.eyeOffset, Direction(0, 0, -2));
    EXPECT_EQ(scene.ambient, (Color{0.1f, 0.1f, 0.1f, 1}));
    ASSERT_EQ(scene.lights.size(), 1u);
    EXPECT_EQ(scene.lights[0].position, Point(0, 10, -10));
    EXPECT_EQ(scene.lights[0].color, (Color{1, 1, 1, 1}));
    EXPECT_EQ(scene.lights[0].radius, 0.5f);
    EXPECT_EQ(scene.air.refractiveIndex, 1.0f);
    EXPECT_EQ(scene.air.attenuation, (Color{1, 1, 1, 1}));

    ASSERT_EQ(scene.objects.size(), 5u);
    const Sphere& sphere = ObjectAs<Sphere>(scene, 0);
    EXPECT_EQ(sphere.GetCentre(), Point(0, 0, 0));
    EXPECT_EQ(sphere.GetRadius(), 2.0f);
    EXPECT_EQ(sphere.GetMaterial(), Material({1, 0, 0, 1}, 0.5f, 20, {1, 1, 1, 1}, 1, 1, 0));

    const Box& box = ObjectAs<Box>(scene, 1);
    EXPECT_EQ(box.GetCorner(), Point(-1, -1, 3));
    EXPECT_EQ(box.GetEdge1(), Direction(2, 0, 0));
    EXPECT_EQ(box.GetEdge3(), Direction(0, 0, 2));
    EXPECT_EQ(box.GetMaterial().roughness, 0.1f);

    EXPECT_EQ(ObjectAs<Polygon3D>(scene, 2).GetVertices().size(), 3u);
    EXPECT_EQ(ObjectAs<Polygon3D>(scene, 2).GetMaterial().diffuse, (Color{0.8f, 0.8f, 0.8f, 1}));

    const Ellipsoid& ellipsoid = ObjectAs<Ellipsoid>(scene, 3);
    EXPECT_EQ(ellipsoid.GetAxis2(), Direction(0, 2, 0));
    EXPECT_EQ(ellipsoid.GetMaterial().refractiveIndex, 1.5f);

    const Icosahedron& icosahedron = ObjectAs<Icosahedron>(scene, 4);
    EXPECT_EQ(icosahedron.GetRadius(), 1.5f);
    EXPECT_EQ(icosahedron.GetCentre(), Point(-3, 0, 0));
}

TEST(SceneLoader, FilesWithoutEntriesGiveTheDefaultSceneAndTextWithoutOneIsSuspect) {
    const struct {
        const char* text;
        bool suspect;  // words, but not one entry: most likely not a scene file
    } cases[] = {{"", false},
                 {"\n\n", false},
                 {"   \t\r  ", false},
                 {"# nothing here\n// nor here\n", true},
                 {"\x89PNG\r\n\x1a\n", true}};
    for (const auto& c : cases) {
        const SceneLoadResult result = LoadSceneText(c.text);
        EXPECT_TRUE(result.scene->objects.empty()) << c.text;
        EXPECT_TRUE(result.scene->lights.empty());
        EXPECT_EQ(result.scene->camera.eyeOffset, Direction(0, 0, 1));
        EXPECT_FALSE(result.diagnostic) << c.text;
        EXPECT_EQ(result.noEntry, c.suspect) << c.text;
        EXPECT_EQ(result.warnings.size(), c.suspect ? 1u : 0u) << c.text;
    }
    const auto comments = LoadSceneText("\n  # nothing here\n");
    ASSERT_EQ(comments.warnings.size(), 1u);
    EXPECT_EQ(comments.warnings[0].line, 2);
    EXPECT_EQ(comments.warnings[0].column, 3);
    EXPECT_THAT(comments.warnings[0].message, ::testing::HasSubstr("is this a scene file?"));
    // An entry that is cut short is still an entry.
    EXPECT_FALSE(LoadSceneText("# a sphere\nSPHERE (0,0").noEntry);
}

TEST(SceneLoader, GivesUpWhenAskedToStop) {
    const std::atomic<bool> stop{true};
    const auto result = LoadSceneText(std::string(kSphereLine) + "\n" + kSphereLine, &stop);
    EXPECT_TRUE(result.stopped);
    EXPECT_TRUE(result.scene->objects.empty());
    EXPECT_FALSE(result.noEntry);
}

TEST(SceneLoader, QuotesLongWordsCutShort) {
    const auto result = LoadSceneText(std::string(100000, '7') + " x\nAMBIENT (1,1,1)\n");
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0].message, "'" + std::string(24, '7') +
                                              "...' looks like data but is not part of an entry; "
                                              "the rest of the line is skipped");
}

TEST(SceneLoader, LaterSettingsReplaceEarlierOnes) {
    const auto result = LoadSceneText(
        "AMBIENT (0.2,0.2,0.2)\nAMBIENT (0.3,0.3,0.3)\nAIR 2 2 (1,1,1)\n"
        "CAMERA (1,1,1) (1,0,0) (0,1,0) (0,0,-1)\nCAMERA (2,2,2) (1,0,0) (0,1,0) (0,0,-1)\n");
    EXPECT_EQ(result.scene->ambient, (Color{0.3f, 0.3f, 0.3f, 1}));
    EXPECT_EQ(result.scene->air.refractiveIndex, 2.0f);
    EXPECT_EQ(result.scene->camera.centre, Point(2, 2, 2));
}

TEST(SceneLoader, RoughnessIsOptionalAndMayStartTheNextLine) {
    const std::string line = kSphereLine;
    const auto plain = LoadSceneText(line + "\n");
    EXPECT_EQ(ObjectAs<Sphere>(*plain.scene, 0).GetMaterial().roughness, 0.0f);

    const auto rough = LoadSceneText(line + " 0.25\n");
    EXPECT_EQ(ObjectAs<Sphere>(*rough.scene, 0).GetMaterial().roughness, 0.25f);

    const auto spread = LoadSceneText("SPHERE (0,0,0)\n  2 (1,0,0)\n\t0.5 20 (1,1,1) 1 1\n");
    ExpectSameScene(*spread.scene, *plain.scene);

    // The look-ahead crosses line ends: a number opening the next line is the roughness.
    const auto nextLine = LoadSceneText(line + "\n\n  .5 is taken\n");
    EXPECT_EQ(ObjectAs<Sphere>(*nextLine.scene, 0).GetMaterial().roughness, 0.5f);
    const auto negative = LoadSceneText(line + "\n-0.5\n");
    EXPECT_EQ(ObjectAs<Sphere>(*negative.scene, 0).GetMaterial().roughness, -0.5f);

    // '+' does not start it; the word is then skipped as unknown, with a warning.
    const auto plus = LoadSceneText(line + " +0.25\nAMBIENT (1,1,1)\n");
    EXPECT_EQ(ObjectAs<Sphere>(*plus.scene, 0).GetMaterial().roughness, 0.0f);
    EXPECT_EQ(plus.scene->ambient.r, 1.0f);
    ASSERT_EQ(plus.warnings.size(), 1u);
    EXPECT_EQ(plus.warnings[0].column, 45);

    // The look-ahead skips only blanks, tabs and line ends, while words and numbers skip all
    // whitespace: after a vertical tab the number is a word of its own.
    const auto verticalTab = LoadSceneText(line + "\v0.25\n");
    EXPECT_EQ(ObjectAs<Sphere>(*verticalTab.scene, 0).GetMaterial().roughness, 0.0f);
    const auto wordAfterFormFeed = LoadSceneText("\fAMBIENT\v(0.5,\f0.5,\r0.5)\n");
    EXPECT_EQ(wordAfterFormFeed.scene->ambient, (Color{0.5f, 0.5f, 0.5f, 1}));
}

TEST(SceneLoader, AnySingleCharacterDelimitsAVector) {
    for (const char* ambient : {"(1,2,3)", "( 1 , 2 , 3 )", "<1;2;3>", "[1|2|3]", "x1x2x3x"}) {
        const auto result = LoadSceneText(std::string("AMBIENT ") + ambient + "\n");
        EXPECT_EQ(result.scene->ambient, (Color{1, 2, 3, 1})) << ambient;
        EXPECT_FALSE(result.diagnostic) << ambient;
    }
    // Without delimiters the first digit is taken as one, and the reading goes astray.
    const auto bare = LoadSceneText("AMBIENT 1 2 3\n");
    EXPECT_NE(bare.scene->ambient, (Color{1, 2, 3, 1}));
    EXPECT_TRUE(bare.diagnostic);
}

TEST(SceneLoader, PolygonReadsExactlyItsCount) {
    const std::string material = " (1,1,1) 0 1 (1,1,1) 1 1\n";
    const auto none = LoadSceneText("POLYGON 0" + material);
    EXPECT_TRUE(ObjectAs<Polygon3D>(*none.scene, 0).GetVertices().empty());
    EXPECT_EQ(ObjectAs<Polygon3D>(*none.scene, 0).GetMaterial().diffuse.r, 1.0f);

    const auto negative = LoadSceneText("POLYGON -3" + material);
    EXPECT_TRUE(ObjectAs<Polygon3D>(*negative.scene, 0).GetVertices().empty());
    EXPECT_FALSE(negative.diagnostic);

    const auto square = LoadSceneText("POLYGON 4 (0,0,0) (1,0,0) (1,1,0) (0,1,0)" + material);
    EXPECT_EQ(ObjectAs<Polygon3D>(*square.scene, 0).GetVertices().size(), 4u);
    EXPECT_EQ(ObjectAs<Polygon3D>(*square.scene, 0).GetTriangles().size(), 2u);
}

TEST(SceneLoader, HugePolygonCountStopsAtTheEndOfAShortFile) {
    const auto result =
        LoadSceneText("AMBIENT (0.5,0.5,0.5)\nPOLYGON 2000000000 (0,0,5) (1,0,5)\n");
    EXPECT_EQ(result.scene->ambient.r, 0.5f);
    const auto& polygon = ObjectAs<Polygon3D>(*result.scene, 0);
    // Two vertices read, then the one during which the file ended (all zero).
    ASSERT_EQ(polygon.GetVertices().size(), 3u);
    EXPECT_EQ(polygon.GetVertices()[2], Point(0, 0, 0));
    ASSERT_TRUE(result.diagnostic);
    EXPECT_EQ(result.diagnostic->line, 2);
    EXPECT_EQ(result.diagnostic->message,
              "expected a delimiter of a vector (vertex 3 of POLYGON), found end of file");

    const auto overflow = LoadSceneText("POLYGON 99999999999 (0,0,5)\n");
    EXPECT_TRUE(ObjectAs<Polygon3D>(*overflow.scene, 0).GetVertices().empty());
    ASSERT_TRUE(overflow.diagnostic);
    EXPECT_EQ(overflow.diagnostic->message,
              "expected an integer (vertex count of POLYGON), found '99999999999', which is "
              "outside the range of an integer");
}

TEST(SceneLoader, StopsAfterTheEntryHoldingAnUnreadableItem) {
    const auto result = LoadSceneText(
        "AMBIENT (0.5,0.5,0.5)\nSPHERE (1,2,3) x (1,0,0) 0.5 20 (1,1,1) 1 1\nLIGHT (0,1,0) "
        "(1,1,1) 0\n");
    ASSERT_EQ(result.scene->objects.size(), 1u);
    const Sphere& sphere = ObjectAs<Sphere>(*result.scene, 0);
    EXPECT_EQ(sphere.GetCentre(), Point(1, 2, 3));
    EXPECT_EQ(sphere.GetRadius(), 0.0f);
    EXPECT_EQ(sphere.GetMaterial(), Material({0, 0, 0, 1}, 0, 0, {0, 0, 0, 1}, 0, 0, 0));
    EXPECT_TRUE(result.scene->lights.empty());
    EXPECT_EQ(result.scene->ambient.r, 0.5f);

    ASSERT_TRUE(result.diagnostic);
    EXPECT_EQ(result.diagnostic->line, 2);
    EXPECT_EQ(result.diagnostic->column, 16);
    EXPECT_EQ(result.diagnostic->message, "expected a number (radius of SPHERE), found 'x'");
    EXPECT_EQ(result.diagnostic->lineText, "SPHERE (1,2,3) x (1,0,0) 0.5 20 (1,1,1) 1 1");
}

TEST(SceneLoader, ReadsNumbersAsAStreamReadsAFloat) {
    struct Case {
        const char* radius;
        float expected;
        const char* found;  // nullptr: read cleanly
    };
    const Case cases[] = {
        {"2", 2, nullptr},
        {"-1.5e1", -15, nullptr},
        {".5", 0.5f, nullptr},
        {"1e-50", 0, nullptr},  // underflow reads as zero without failing
        {"1e", 0, "found '1e'"},
        {"inf", 0, "found 'inf'"},
        {"nan", 0, "found 'nan'"},
        {"+", 0, "found '+'"},
        {"1e40", 0, "found '1e40', which is outside the range of a float"},
        {"-1e40", 0, "found '-1e40', which is outside the range of a float"},
    };
    for (const Case& c : cases) {
        const auto result = LoadSceneText(std::string("SPHERE (0,0,0) ") + c.radius +
                                          " (1,0,0) 0.5 20 (1,1,1) 1 1\n");
        EXPECT_EQ(ObjectAs<Sphere>(*result.scene, 0).GetRadius(), c.expected) << c.radius;
        if (c.found == nullptr) {
            EXPECT_FALSE(result.diagnostic) << c.radius;
        } else {
            ASSERT_TRUE(result.diagnostic) << c.radius;
            EXPECT_EQ(result.diagnostic->message,
                      std::string("expected a number (radius of SPHERE), ") + c.found);
        }
    }
    // A number ends where it cannot continue, so delimiters may touch it.
    const auto glued = LoadSceneText("LIGHT (0,10,-10)(1,1,1)0.5\n");
    EXPECT_EQ(glued.scene->lights.at(0).position, Point(0, 10, -10));
    EXPECT_EQ(glued.scene->lights.at(0).radius, 0.5f);
}

TEST(SceneLoader, KeywordsAreCaseSensitiveAndNeedWhitespace) {
    const auto result = LoadSceneText(
        "sphere (0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 1 1\n"
        "SPHERE(0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 1 1\n"
        "# a comment, AIR 2 2 (1,1,1)\n"
        "AMBIENT (0.5,0.5,0.5)\n");
    EXPECT_TRUE(result.scene->objects.empty());
    EXPECT_EQ(result.scene->air.refractiveIndex, 1.0f);
    EXPECT_EQ(result.scene->ambient.r, 0.5f);
    EXPECT_FALSE(result.diagnostic);
    ASSERT_EQ(result.warnings.size(), 2u);
    EXPECT_EQ(result.warnings[0].line, 1);
    EXPECT_EQ(result.warnings[0].message,
              "'sphere' is not a keyword (keywords are upper case: SPHERE); the rest of the line "
              "is skipped");
    EXPECT_EQ(result.warnings[1].line, 2);
    EXPECT_EQ(result.warnings[1].message,
              "'SPHERE(0,0,0)' is not a keyword (put a space after SPHERE); the rest of the line "
              "is skipped");
}

TEST(SceneLoader, WarnsAboutSkippedLinesThatLookLikeData) {
    const auto result = LoadSceneText(
        "(1,2,3) stray vector\n"
        "  0.3 stray number\n"
        "-- a comment in another style\n"
        "// and another\n"
        "Notes: 3 spheres\n"
        "AMBIENT (1,1,1)\n");
    ASSERT_EQ(result.warnings.size(), 2u);
    EXPECT_EQ(result.warnings[0].line, 1);
    EXPECT_EQ(result.warnings[0].column, 1);
    EXPECT_EQ(result.warnings[1].line, 2);
    EXPECT_EQ(result.warnings[1].column, 3);
    EXPECT_EQ(result.warnings[1].message,
              "'0.3' looks like data but is not part of an entry; the rest of the line is skipped");
}

TEST(SceneLoader, ListsAHundredWarningsAndCountsTheRest) {
    std::string text;
    for (int i = 0; i < 250; ++i) {
        text += "box\n";
    }
    text += "BOX (0,0,0) (1,0,0) (0,1,0) (0,0,1) (1,1,1) 0 1 (1,1,1) 1 1\n";
    const auto result = LoadSceneText(text);
    ASSERT_EQ(result.warnings.size(), kMaxListedWarnings + 1);
    EXPECT_EQ(result.warnings.back().line, 101);
    EXPECT_EQ(result.warnings.back().message,
              "150 more skipped lines look like mistakes; they are not listed");
}

TEST(SceneLoader, KeywordEndingTheFileWithoutDataChangesNothing) {
    const auto result = LoadSceneText("AMBIENT (0.5,0.5,0.5)\nAIR");
    EXPECT_EQ(result.scene->air.refractiveIndex, 1.0f);
    EXPECT_EQ(result.scene->ambient.r, 0.5f);
    ASSERT_TRUE(result.diagnostic);
    EXPECT_EQ(result.diagnostic->line, 2);
    EXPECT_EQ(result.diagnostic->column, 1);
    EXPECT_EQ(result.diagnostic->message, "expected the data of AIR, found end of file");

    // An entry whose last number ends the file is complete.
    const auto complete = LoadSceneText(kSphereLine);
    EXPECT_EQ(complete.scene->objects.size(), 1u);
    EXPECT_FALSE(complete.diagnostic);
}

// Cuts the worked example inside every entry, at every token boundary: everything before the
// entry is kept, the entry itself is still applied, and the diagnostic points at its line.
TEST(SceneLoader, FileTruncatedInsideAnyEntry) {
    std::vector<std::string> lines;
    std::istringstream in(kWorkedExample);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    const auto isBoundary = [](char c) { return c == ' ' || c == '(' || c == ',' || c == ')'; };
    for (std::size_t entry = 0; entry < 9; ++entry) {
        std::string before;
        for (std::size_t i = 0; i < entry; ++i) {
            before += lines[i] + "\n";
        }
        const SceneLoadResult full = LoadSceneText(before);
        const std::string& line = lines[entry];
        const std::size_t keywordEnd = line.find(' ');
        for (std::size_t cut = keywordEnd + 1; cut < line.size(); ++cut) {
            if (!isBoundary(line[cut - 1]) && !isBoundary(line[cut])) {
                continue;  // inside a number: a shorter number may still read
            }
            if (entry == 5 && line.substr(cut).find_first_not_of(' ') == line.size() - 3 - cut) {
                continue;  // only the optional roughness is missing
            }
            const std::string text = before + line.substr(0, cut);
            const SceneLoadResult result = LoadSceneText(text);
            SCOPED_TRACE(text);
            ASSERT_TRUE(result.diagnostic);
            EXPECT_EQ(result.diagnostic->line, static_cast<int>(entry) + 1);
            EXPECT_TRUE(result.diagnostic->message.ends_with("found end of file"));
            const bool isShape = entry >= 4;
            EXPECT_EQ(result.scene->objects.size(), full.scene->objects.size() + (isShape ? 1 : 0));
        }
    }
}

TEST(SceneLoader, LongCommentLinesAreSkippedWhole) {
    const std::string comment = "# " + std::string(400, 'x') + "\n";
    const auto result = LoadSceneText(comment + kWorkedExample);
    EXPECT_EQ(result.scene->objects.size(), 5u);
    EXPECT_EQ(result.scene->lights.size(), 1u);
    EXPECT_FALSE(result.diagnostic);
}

TEST(SceneLoader, WindowsAndOldMacLineEndsAndByteOrderMarkReadLikePlainText) {
    const auto plain = LoadSceneText(kWorkedExample);
    // Comments are skipped to the line end, so a lone CR must end a line too.
    const std::string commented = std::string("# comment\n") + kWorkedExample;
    for (const char* lineEnd : {"\r\n", "\r"}) {
        std::string text = "\xEF\xBB\xBF";
        for (const char c : commented) {
            text += c == '\n' ? std::string(lineEnd) : std::string(1, c);
        }
        const auto other = LoadSceneText(text);
        ExpectSameScene(*other.scene, *plain.scene);
        EXPECT_FALSE(other.diagnostic);
        EXPECT_TRUE(other.warnings.empty());

        // The roughness look-ahead crosses these line ends like an LF one.
        const auto rough = LoadSceneText(std::string(kSphereLine) + lineEnd + "0.25" + lineEnd);
        EXPECT_EQ(ObjectAs<Sphere>(*rough.scene, 0).GetMaterial().roughness, 0.25f);
    }
}

TEST(SceneLoader, GarbageNeverCrashesAndKeepsWhatWasRead) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string text(random() % 400, '\0');
        for (char& c : text) {
            c = static_cast<char>(random() % 256);
        }
        if (round % 2 == 0) {
            text = std::string(kWorkedExample).substr(0, random() % 300) + text;
        }
        const SceneLoadResult result = LoadSceneText(text);
        ASSERT_NE(result.scene, nullptr);
        for (const auto& object : result.scene->objects) {
            ASSERT_NE(object, nullptr);
        }
    }
    const auto zeros = LoadSceneText(std::string(1000, '\0'));
    EXPECT_TRUE(zeros.scene->objects.empty());
}

TEST(SceneLoader, UnopenableFileReadsAsEmpty) {
    std::ifstream missing("/nonexistent/scene.txt");
    ASSERT_FALSE(missing.is_open());
    const auto result = LoadScene(missing);
    EXPECT_TRUE(result.scene->objects.empty());
    EXPECT_FALSE(result.diagnostic);

    std::istringstream stream(kWorkedExample);
    EXPECT_EQ(LoadScene(stream).scene->objects.size(), 5u);
}

TEST(SceneLoader, FormatsDiagnosticsAsCompilersDo) {
    const SceneDiagnostic diagnostic{2, 16, "expected a number (radius of SPHERE), found 'x'",
                                     "\tSPHERE (1,2,3) x"};
    EXPECT_EQ(FormatDiagnostic("scene.txt", diagnostic, "error"),
              "scene.txt:2:16: error: expected a number (radius of SPHERE), found 'x'\n"
              " 2 | \tSPHERE (1,2,3) x\n"
              "   | \t              ^\n");
}

TEST(SceneLoader, EndOfFileDiagnosticPointsPastTheLastToken) {
    const auto result = LoadSceneText("AMBIENT (0.5,0.5,0.5)\nLIGHT (0,1,0)\n\n\n");
    ASSERT_TRUE(result.diagnostic);
    EXPECT_EQ(result.diagnostic->line, 2);
    EXPECT_EQ(result.diagnostic->column, 14);
    EXPECT_EQ(result.diagnostic->message,
              "expected a delimiter of a vector (colour of LIGHT), found end of file");
    EXPECT_EQ(result.scene->lights.size(), 1u);
}

}  // namespace
}  // namespace lumivex
