#include <string>

#include "platform/DeviceProfile.h"
#include "tools/Commands.h"

CLI::Option* AddTalkersOption(CLI::App& command, NmeaTalkers& talkers, const std::string& meaning) {
  // One step both checks and converts, so that a refusal names the values allowed.
  const CLI::Validator talkersValue(
      [](std::string& text) {
        bool any = false;
        if (!platform::ParseTalkers(text, any)) return "\"" + text + "\" is not allowed: give GP or any (in any case)";
        text = std::to_string(static_cast<int>(any ? NmeaTalkers::Any : NmeaTalkers::Gps));
        return std::string();
      },
      "");
  return command.add_option("--talkers", talkers, meaning)->transform(talkersValue)->type_name("GP|any");
}
