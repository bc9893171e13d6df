#include "app/command_suggestion.h"

#include <algorithm>
#include <string_view>

namespace cohortix::app {

std::optional<std::string> unknownSubcommand(int argc, char** argv,
                                             const std::vector<std::string>& known) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--plugin") {
      ++i;
      continue;
    }
    if (word.empty() || word.front() == '-') continue;
    if (std::find(known.begin(), known.end(), word) != known.end()) return std::nullopt;
    return std::string(word);
  }
  return std::nullopt;
}

std::size_t editDistance(const std::string& a, const std::string& b) {
  // Optimal string alignment: one row per character of a.
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

std::string unknownSubcommandMessage(const std::string& typed, const std::vector<std::string>& known) {
  std::string closest;
  std::size_t best = 0;
  for (const std::string& name : known) {
    const std::size_t distance = editDistance(typed, name);
    if (closest.empty() || distance < best) closest = name, best = distance;
  }
  std::string message = "unknown command \"" + typed + "\"";
  // Beyond a third of the word, the likeness is chance.
  if (!closest.empty() && best <= std::max<std::size_t>(1, closest.size() / 3))
    return message + "; did you mean \"" + closest + "\"?";
  message += "; the commands are";
  for (std::size_t i = 0; i < known.size(); ++i) message += (i == 0 ? " " : ", ") + known[i];
  return message;
}

}  // namespace cohortix::app
