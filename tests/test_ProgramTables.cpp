// The program tables against the stage files they describe, read as text (no GL): every
// uniform and sampler that a stage file declares has its row, and every row its declaration,
// with the same type; and the builds that the tables make, in order, with their #defines.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "assets/Paths.h"
#include "render/Programs.h"
#include "support/TestSupport.h"

namespace {

// One uniform declaration of a stage file.
struct Declaration {
    std::string type;
    std::string name;
    int count = 1;     // array length
    int binding = -1;  // layout(binding = N), for samplers
};

std::string withoutComments(const std::string& text) {
    std::string kept;
    bool block = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (block) {
            if (text.compare(i, 2, "*/") == 0) {
                block = false;
                ++i;
            } else if (text[i] == '\n') {
                kept += '\n';
            }
        } else if (text.compare(i, 2, "/*") == 0) {
            block = true;
            ++i;
        } else if (text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n') ++i;
            kept += '\n';
        } else {
            kept += text[i];
        }
    }
    return kept;
}

// The uniform declarations of a stage file's text. A line that declares uniforms in a way that
// this reader does not know (several names, a block) goes to `unread`.
std::vector<Declaration> declarationsOf(const std::string& text, std::vector<std::string>& unread) {
    static const std::regex declaration(
        R"(^\s*(?:layout\s*\(\s*binding\s*=\s*(\d+)\s*\)\s*)?uniform\s+(\w+)\s+(\w+)\s*(?:\[\s*(\d+)\s*\])?\s*;\s*$)");
    static const std::regex mentionsUniform(R"(\buniform\b)");
    std::vector<Declaration> found;
    std::istringstream lines(withoutComments(text));
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, declaration)) {
            Declaration d;
            d.binding = m[1].matched ? std::stoi(m[1]) : -1;
            d.type = m[2];
            d.name = m[3];
            d.count = m[4].matched ? std::stoi(m[4]) : 1;
            found.push_back(d);
        } else if (std::regex_search(line, mentionsUniform)) {
            unread.push_back(line);
        }
    }
    return found;
}

std::string typeText(const std::string& type, int count) {
    return count == 1 ? type : type + "[" + std::to_string(count) + "]";
}

bool isSampler(const std::string& type) { return type.rfind("sampler", 0) == 0; }

// Everything that differs between the program tables and the stage files in `folder`, one
// line each; empty when they agree.
std::vector<std::string> tableProblems(const std::filesystem::path& folder) {
    std::vector<std::string> problems;
    std::map<std::string, std::vector<Declaration>> declared;  // by stage file
    for (const ProgramTable* table : kProgramTables) {
        for (const char* file : table->stages) {
            if (file == nullptr || declared.count(file) != 0) continue;
            std::ifstream in(folder / file);
            std::stringstream text;
            text << in.rdbuf();
            std::vector<std::string> unread;
            declared[file] = declarationsOf(text.str(), unread);
            for (const std::string& line : unread) {
                problems.push_back(std::string(file) + ": cannot read \"" + line + "\"");
            }
        }
    }
    auto filesOf = [](const ProgramTable& table) {
        std::vector<std::string> files;
        for (const char* file : table.stages) {
            if (file != nullptr) files.push_back(file);
        }
        return files;
    };

    // Each row against the declarations of its program's stage files.
    for (const ProgramTable* table : kProgramTables) {
        const std::string program = table->name;
        for (const UniformRow& row : table->uniforms) {
            const std::string expected = typeText(row.type.spelling, row.count);
            bool found = false;
            for (const std::string& file : filesOf(*table)) {
                for (const Declaration& d : declared[file]) {
                    if (d.name != row.name) continue;
                    found = true;
                    if (!row.declared) {
                        problems.push_back(program + ": \"" + row.name + "\" is declared in " +
                                           file + ", but its row says no stage file has it");
                    } else if (typeText(d.type, d.count) != expected) {
                        problems.push_back(program + ": \"" + row.name + "\" is " +
                                           typeText(d.type, d.count) + " in " + file + ", but " +
                                           expected + " in its row");
                    }
                }
            }
            if (row.declared && !found) {
                problems.push_back(program + ": \"" + row.name +
                                   "\" has a row, but no stage file of it declares it");
            }
        }
        for (const SamplerRow& sampler : table->samplers) {
            bool found = false;
            for (const std::string& file : filesOf(*table)) {
                for (const Declaration& d : declared[file]) {
                    if (d.name != sampler.name) continue;
                    found = true;
                    if (d.type != sampler.type.spelling || d.binding != sampler.unit) {
                        problems.push_back(program + ": sampler \"" + sampler.name + "\" is " +
                                           d.type + " on unit " + std::to_string(d.binding) +
                                           " in " + file + ", but " + sampler.type.spelling +
                                           " on unit " + std::to_string(sampler.unit) +
                                           " in its row");
                    }
                }
            }
            if (!found) {
                problems.push_back(program + ": sampler \"" + sampler.name +
                                   "\" has a row, but no stage file of it declares it");
            }
        }
    }

    // Each declaration against the tables of the programs built from its file. A stage file
    // shared by two programs may declare what only one of them uses.
    for (const auto& [file, declarations] : declared) {
        for (const Declaration& d : declarations) {
            bool hasRow = false;
            for (const ProgramTable* table : kProgramTables) {
                const std::vector<std::string> files = filesOf(*table);
                if (std::find(files.begin(), files.end(), file) == files.end()) continue;
                for (const UniformRow& row : table->uniforms) {
                    hasRow = hasRow || (!isSampler(d.type) && row.declared && d.name == row.name);
                }
                for (const SamplerRow& sampler : table->samplers) {
                    hasRow = hasRow || (isSampler(d.type) && d.name == sampler.name);
                }
            }
            if (!hasRow) {
                problems.push_back(file + ": \"" + d.name + "\" (" + typeText(d.type, d.count) +
                                   ") has no row in the table of a program built from it");
            }
        }
    }
    return problems;
}

// A copy of the stage files with one file's text changed by `edit`.
class EditedStages {
public:
    EditedStages(const std::string& file, const std::function<std::string(std::string)>& edit) {
        for (const auto& entry : std::filesystem::directory_iterator(srcDir)) {
            std::filesystem::copy_file(entry.path(), dir_.path() / entry.path().filename());
        }
        std::stringstream text;
        text << std::ifstream(dir_.path() / file).rdbuf();
        std::ofstream(dir_.path() / file, std::ios::trunc) << edit(text.str());
    }
    const std::filesystem::path& folder() const { return dir_.path(); }

private:
    TempDir dir_;
};

std::string replaceWord(const std::string& text, const std::string& word, const std::string& by) {
    return std::regex_replace(text, std::regex("\\b" + word + "\\b"), by);
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(ProgramTables, TheStageFilesDeclareTheUniformsAndSamplersOfTheTablesWithTheirTypes) {
    EXPECT_EQ(tableProblems(srcDir), Lines{});
}

TEST(ProgramTables, AUniformRenamedInTheGlslAloneIsCaughtOnBothSides) {
    const EditedStages stages("3rdPass.fragmentshader", [](const std::string& text) {
        return replaceWord(text, "dTime", "frameTime");
    });
    EXPECT_EQ(tableProblems(stages.folder()),
              (Lines{"postProgram: \"dTime\" has a row, but no stage file of it declares it",
                     "3rdPass.fragmentshader: \"frameTime\" (float) has no row in the table of a "
                     "program built from it"}));
}

TEST(ProgramTables, ATypeAUnitOrADeclarationThatDiffersFromItsRowIsCaught) {
    const EditedStages retyped("1stPass_1.fragmentshader", [](const std::string& text) {
        return std::regex_replace(text, std::regex("uniform vec2 near_far_plane"),
                                  "uniform vec3 near_far_plane");
    });
    EXPECT_EQ(tableProblems(retyped.folder()),
              Lines{"shadowProgram: \"near_far_plane\" is vec3 in 1stPass_1.fragmentshader, but "
                    "vec2 in its row"});

    const EditedStages rebound("3rdPass.fragmentshader", [](const std::string& text) {
        return std::regex_replace(text, std::regex("binding = 8"), "binding = 6");
    });
    EXPECT_EQ(tableProblems(rebound.folder()),
              Lines{"postProgram: sampler \"sceneColor\" is sampler2D on unit 6 in "
                    "3rdPass.fragmentshader, but sampler2D on unit 8 in its row"});

    // A uniform that the table says the shadow program's stages do not have.
    const EditedStages added("1stPass_1.fragmentshader", [](const std::string& text) {
        return std::regex_replace(text, std::regex("uniform vec2 near_far_plane;"),
                                  "uniform vec2 near_far_plane;\nuniform mat4 trans_to_ref;");
    });
    EXPECT_EQ(tableProblems(added.folder()),
              (Lines{"shadowProgram: \"trans_to_ref\" is declared in 1stPass_1.fragmentshader, "
                     "but its row says no stage file has it",
                     "1stPass_1.fragmentshader: \"trans_to_ref\" (mat4) has no row in the table "
                     "of a program built from it"}));

    // A declaration this reader does not know is not passed over.
    const EditedStages unreadable("2ndPass.vertexshader", [](const std::string& text) {
        return std::regex_replace(text, std::regex("uniform mat4 MVP;"), "uniform mat4 MVP, X;");
    });
    EXPECT_EQ(tableProblems(unreadable.folder()),
              (Lines{"2ndPass.vertexshader: cannot read \"uniform mat4 MVP, X;\"",
                     "sceneProgram: \"MVP\" has a row, but no stage file of it declares it"}));
}

TEST(ProgramTables, TheBuildsAreTheFourProgramsThenEachOnesVariantsWithTheirDefines) {
    // As pelk-stages lists them for the reference compiler: name, program, #defines.
    Lines listed;
    for (const ProgramBuild& build : programBuilds()) {
        std::string defines = std::regex_replace(build.defines, std::regex("\n(?!$)"), "; ");
        if (!defines.empty()) defines = " with " + defines.substr(0, defines.size() - 1);
        listed.push_back(build.name + ": " + build.program + defines);
    }
    const std::string sky = "#define SURFACE SURFACE_SKY; #define TEXTURED 1";
    const std::string mode = "; #define SHADOW_MODE ";
    EXPECT_EQ(listed, (Lines{
                          "shadow: shadowProgram",
                          "reflection: reflectionProgram",
                          "scene: sceneProgram",
                          "post: postProgram",
                          "reflection-1: reflectionProgram with " + sky,
                          "reflection-2: reflectionProgram with #define SURFACE SURFACE_LIGHT_CUBE",
                          "reflection-3: reflectionProgram with #define SURFACE SURFACE_MATTE",
                          "scene-1: sceneProgram with " + sky,
                          "scene-2: sceneProgram with #define SURFACE SURFACE_LIGHT_CUBE",
                          "scene-3: sceneProgram with #define SURFACE SURFACE_MATTE" + mode +
                              "0; #define TEXTURED 1",
                          "scene-4: sceneProgram with #define SURFACE SURFACE_MATTE" + mode +
                              "1; #define TEXTURED 1",
                          "scene-5: sceneProgram with #define SURFACE SURFACE_MATTE" + mode +
                              "2; #define TEXTURED 1",
                          "scene-6: sceneProgram with #define SURFACE SURFACE_MIRROR" + mode +
                              "0; #define TEXTURED 0",
                          "scene-7: sceneProgram with #define SURFACE SURFACE_MIRROR" + mode +
                              "1; #define TEXTURED 0",
                          "scene-8: sceneProgram with #define SURFACE SURFACE_MIRROR" + mode +
                              "2; #define TEXTURED 0",
                          "scene-9: sceneProgram with #define SURFACE SURFACE_WATER" + mode +
                              "0; #define TEXTURED 1",
                          "scene-10: sceneProgram with #define SURFACE SURFACE_WATER" + mode +
                              "1; #define TEXTURED 1",
                          "scene-11: sceneProgram with #define SURFACE SURFACE_WATER" + mode +
                              "2; #define TEXTURED 1",
                          "scene-12: sceneProgram with #define SURFACE SURFACE_GROUND" + mode +
                              "0; #define TEXTURED 1",
                          "scene-13: sceneProgram with #define SURFACE SURFACE_GROUND" + mode +
                              "1; #define TEXTURED 1",
                          "scene-14: sceneProgram with #define SURFACE SURFACE_GROUND" + mode +
                              "2; #define TEXTURED 1",
                          "post-1: postProgram with #define MOTION_BLUR 0; #define FLARE 0",
                          "post-2: postProgram with #define MOTION_BLUR 0; #define FLARE 1",
                          "post-3: postProgram with #define MOTION_BLUR 1; #define FLARE 0",
                          "post-4: postProgram with #define MOTION_BLUR 1; #define FLARE 1",
                      }));
    // Each build's stage files, in stage order, with none where the program has no such stage.
    const std::vector<ProgramBuild> builds = programBuilds();
    ASSERT_EQ(builds.size(), 25u);
    EXPECT_EQ(builds[14].paths,
              (std::array<std::string, 5>{joinPath(srcDir, "2ndPass.vertexshader"),
                                          joinPath(srcDir, "2ndPass.tesControlShader"),
                                          joinPath(srcDir, "2ndPass.tesEvaluationShader"), "",
                                          joinPath(srcDir, "2ndPass.fragmentshader")}));
    EXPECT_EQ(builds[1].paths,
              (std::array<std::string, 5>{joinPath(srcDir, "1stPass.vertexshader"), "", "",
                                          joinPath(srcDir, "1stPass.geometryshader"),
                                          joinPath(srcDir, "1stPass_2.fragmentshader")}));
}

TEST(ProgramTables, ABuildServesTheDrawsThatMatchEveryChoiceItFixes) {
    const VariantKey matteSoft{.surface = surface(ObjectKind::Matte), .shadowMode = 1};
    EXPECT_TRUE(variantServes(matteSoft, sceneDraw(ObjectKind::Matte, 1, true)));
    EXPECT_TRUE(variantServes(matteSoft, sceneDraw(ObjectKind::Matte, 1, false)));
    EXPECT_FALSE(variantServes(matteSoft, sceneDraw(ObjectKind::Matte, 2, true)));
    EXPECT_FALSE(variantServes(matteSoft, sceneDraw(ObjectKind::Water, 1, true)));
    EXPECT_TRUE(variantServes(VariantKey{}, postDraw(true, false)));
    // The reflection shades every lit kind alike, with the matte build.
    EXPECT_EQ(reflectionDraw(ObjectKind::Water, true), reflectionDraw(ObjectKind::Matte, true));
    EXPECT_NE(reflectionDraw(ObjectKind::SkyWall, true), reflectionDraw(ObjectKind::Matte, true));
}
