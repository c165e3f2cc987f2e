// The manual pages list exactly the options of the programs' --help, command
// by command, so that neither changes without the other. A failure names
// every option and command that one side has and the other lacks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "support/Command.h"
#include "support/TempFolder.h"

namespace {

using Names = std::set<std::string>;

struct HelpText {
  Names options;
  Names commands;
};

// A help line that starts an entry: two spaces, then its name.
bool IsEntry(const std::string& line) { return line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' '; }

// "  -h,--help    Print ..." under "Options:" gives -h and --help; "  decode  ..." under "Subcommands:" gives decode.
HelpText ParseHelp(const std::string& text) {
  HelpText help;
  Names* section = nullptr;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] != ' ') {
      section = line == "Options:" ? &help.options : line == "Subcommands:" ? &help.commands : nullptr;
    } else if (section != nullptr && IsEntry(line)) {
      std::istringstream names(line.substr(2, line.find(' ', 2) - 2));
      for (std::string name; std::getline(names, name, ',');) section->insert(name);
    }
  }
  return help;
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-'; }

// The options a .TP tag line names: "-x" or "--long-name" at the line's start or
// after a blank or a quote, with roff's "\-" read as "-".
void AddTaggedOptions(const std::string& line, Names& options) {
  std::string plain;
  for (std::size_t i = 0; i < line.size(); ++i) plain += line.compare(i, 2, "\\-") == 0 ? line[++i] : line[i];
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const bool starts = plain[i] == '-' && (i == 0 || std::isspace(static_cast<unsigned char>(plain[i - 1])) != 0 ||
                                            plain[i - 1] == '"');
    if (!starts) continue;
    const std::size_t dashes = plain.compare(i, 2, "--") == 0 ? 2 : 1;
    std::size_t end = i + dashes;
    if (end >= plain.size() || std::isalnum(static_cast<unsigned char>(plain[end])) == 0) continue;
    while (end < plain.size() && IsNameChar(plain[end])) ++end;
    options.insert(plain.substr(i, end - i));
    i = end;
  }
}

// The options that the page's tagged paragraphs (.TP) list, by scope: "" for
// the OPTIONS section, a command's name for its .SS subsection of COMMANDS.
std::map<std::string, Names> ParseManPage(const std::string& text) {
  std::map<std::string, Names> scopes;
  Names* scope = nullptr;
  bool inCommands = false;
  bool tagLine = false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::string heading = line.size() > 4 ? line.substr(4) : "";
    if (line.rfind(".SH ", 0) == 0) {
      inCommands = heading == "COMMANDS";
      scope = heading == "OPTIONS" ? &scopes[""] : nullptr;
    } else if (line.rfind(".SS ", 0) == 0 && inCommands) {
      scope = &scopes[heading.substr(0, heading.find(' '))];
    } else if (line == ".TP") {
      tagLine = true;
      continue;
    } else if (tagLine && scope != nullptr) {
      AddTaggedOptions(line, *scope);
    }
    tagLine = false;
  }
  return scopes;
}

std::string Join(const Names& names) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

Names Minus(const Names& from, const Names& taken) {
  Names rest;
  for (const auto& name : from)
    if (taken.count(name) == 0) rest.insert(name);
  return rest;
}

struct ProgramPage {
  const char* name;
  const char* path;
  const char* page;  // below the source folder
};

class ManPageTest : public ::testing::TestWithParam<ProgramPage> {
 protected:
  HelpText Help(const std::string& command) {
    const std::string words = command.empty() ? " --help" : " " + command + " --help";
    const auto result = navlume_test::RunCommand(navlume_test::Quote(GetParam().path) + words, m_Folder.Path());
    EXPECT_EQ(result.status, 0) << GetParam().name << words << ": " << result.err;
    return ParseHelp(result.out);
  }

  // What the page's scope lacks and what it lists beyond `help`, in words for whoever changed either.
  std::string Differences(const std::string& command, const Names& help, const Names& page) {
    const std::string where = std::string(GetParam().page) + (command.empty() ? "" : " (.SS " + command + ")");
    const std::string helpCommand = std::string("`") + GetParam().name + (command.empty() ? "" : " " + command) + " --help`";
    std::string text;
    if (const Names lacking = Minus(help, page); !lacking.empty())
      text += where + " lacks " + Join(lacking) + ", which " + helpCommand + " lists\n";
    if (const Names extra = Minus(page, help); !extra.empty())
      text += where + " lists " + Join(extra) + ", which " + helpCommand + " does not\n";
    return text;
  }

  navlume_test::TempFolder m_Folder;
};

TEST_P(ManPageTest, ListsEveryOptionOfEveryCommandAndNothingElse) {
  const char* source = std::getenv("NAVLUME_SOURCE");
  ASSERT_NE(source, nullptr);
  const auto page = ParseManPage(navlume_test::ReadText(std::filesystem::path(source) / GetParam().page));
  ASSERT_TRUE(page.count("")) << GetParam().page << " has no OPTIONS section";

  const HelpText help = Help("");
  std::string differences = Differences("", help.options, page.at(""));
  Names pageCommands;
  for (const auto& [scope, options] : page)
    if (!scope.empty()) pageCommands.insert(scope);
  for (const auto& command : help.commands) {
    const Names options = Help(command).options;
    if (const auto described = page.find(command); described != page.end())
      differences += Differences(command, options, described->second);
    else
      differences += std::string(GetParam().page) + " has no `.SS " + command + "` under COMMANDS for the command " +
                     command + " and its options " + Join(options) + "\n";
  }
  if (const Names extra = Minus(pageCommands, help.commands); !extra.empty())
    differences += std::string(GetParam().page) + " describes commands " + Join(extra) + " that `" + GetParam().name +
                   " --help` does not list\n";
  EXPECT_TRUE(differences.empty()) << "The manual page and --help differ:\n" << differences;
}

constexpr ProgramPage kProgramPages[] = {
#ifdef NAVLUME_GUI_PATH
    {"navlume", NAVLUME_GUI_PATH, "packaging/man/navlume.1.in"},
#endif
    {"navlume-cli", NAVLUME_CLI_PATH, "packaging/man/navlume-cli.1.in"},
};

std::string TestName(const ::testing::TestParamInfo<ProgramPage>& param) {
  std::string name = param.param.name;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Programs, ManPageTest, ::testing::ValuesIn(kProgramPages), TestName);

}  // namespace
