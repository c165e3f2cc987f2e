#include <map>
#include <string>

#include "platform/DeviceProfile.h"
#include "tools/Commands.h"

CLI::Option* AddTalkersOption(CLI::App& command, NmeaTalkers& talkers, const std::string& meaning) {
  const std::map<std::string, NmeaTalkers> values{{platform::kTalkersGp, NmeaTalkers::Gps},
                                                  {platform::kTalkersAny, NmeaTalkers::Any}};
  return command.add_option("--talkers", talkers, meaning)
      ->transform(CLI::CheckedTransformer(values, CLI::ignore_case).description(""))
      ->type_name("GP|any");
}
