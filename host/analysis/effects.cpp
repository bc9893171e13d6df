#include "host/analysis/effects.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>

namespace cohortix::host {
namespace {

constexpr std::string_view kSeparator = " x ";

std::vector<std::string> split(const std::string& name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at = name.find(kSeparator); at != std::string::npos;
       at = name.find(kSeparator, start)) {
    parts.push_back(name.substr(start, at - start));
    start = at + kSeparator.size();
  }
  parts.push_back(name.substr(start));
  return parts;
}

std::vector<WithinFactor> oneFactor(const std::vector<std::string>& cellNames) {
  return {WithinFactor{"Factor 1", cellNames}};
}

// The cell index of levels (l1, l2, l3): the first factor varies fastest.
std::vector<WithinFactor> gridFactors(const std::vector<std::vector<std::string>>& parts) {
  std::vector<WithinFactor> factors(parts.front().size());
  for (std::size_t f = 0; f < factors.size(); ++f) {
    factors[f].name = "Factor " + std::to_string(f + 1);
    for (const auto& cell : parts)
      if (std::find(factors[f].levels.begin(), factors[f].levels.end(), cell[f]) ==
          factors[f].levels.end())
        factors[f].levels.push_back(cell[f]);
  }
  return factors;
}

bool matchesGrid(const std::vector<WithinFactor>& factors,
                 const std::vector<std::vector<std::string>>& parts) {
  std::size_t cells = 1;
  for (const WithinFactor& factor : factors) cells *= factor.levels.size();
  if (cells != parts.size()) return false;
  for (std::size_t c = 0; c < parts.size(); ++c) {
    std::size_t rest = c;
    for (std::size_t f = 0; f < factors.size(); ++f) {
      const std::size_t levels = factors[f].levels.size();
      if (parts[c][f] != factors[f].levels[rest % levels]) return false;
      rest /= levels;
    }
  }
  return true;
}

// The weights over a factor's levels: its j-th successive difference, or the mean.
std::vector<double> differenceOf(std::size_t levels, std::size_t j) {
  std::vector<double> weights(levels, 0.0);
  weights[j] = 1.0;
  weights[j + 1] = -1.0;
  return weights;
}

std::vector<double> averageOf(std::size_t levels) {
  return std::vector<double>(levels, 1.0 / static_cast<double>(levels));
}

// Kronecker product with the first factor varying fastest.
std::vector<double> cellWeights(const std::vector<std::vector<double>>& perFactor) {
  std::vector<double> weights{1.0};
  for (const auto& factor : perFactor) {
    std::vector<double> next;
    next.reserve(weights.size() * factor.size());
    for (double outer : factor)
      for (double inner : weights) next.push_back(inner * outer);
    weights = std::move(next);
  }
  return weights;
}

// Every combination of difference rows for the factors in `subset` (a bit mask).
void addEffectsOf(unsigned subset, const std::vector<WithinFactor>& factors,
                  std::vector<Effect>& effects) {
  std::vector<std::size_t> row(factors.size(), 0);
  while (true) {
    std::vector<std::vector<double>> perFactor;
    std::string name;
    for (std::size_t f = 0; f < factors.size(); ++f) {
      const std::size_t levels = factors[f].levels.size();
      if ((subset >> f & 1U) == 0) {
        perFactor.push_back(averageOf(levels));
        continue;
      }
      perFactor.push_back(differenceOf(levels, row[f]));
      const std::string difference = factors[f].levels[row[f]] + " - " + factors[f].levels[row[f] + 1];
      const bool interaction = (subset & (subset - 1)) != 0;
      if (!name.empty()) name += " x ";
      name += interaction ? "(" + difference + ")" : difference;
    }
    effects.push_back(Effect{name, cellWeights(perFactor), false});
    // Next combination of rows, the first factor fastest.
    std::size_t f = 0;
    for (; f < factors.size(); ++f) {
      if ((subset >> f & 1U) == 0) continue;
      if (++row[f] + 1 < factors[f].levels.size()) break;
      row[f] = 0;
    }
    if (f == factors.size()) return;
  }
}

}  // namespace

std::vector<WithinFactor> factorsFromCellNames(const std::vector<std::string>& cellNames) {
  if (cellNames.empty()) return {};
  std::vector<std::vector<std::string>> parts;
  for (const std::string& name : cellNames) parts.push_back(split(name));
  const std::size_t count = parts.front().size();
  const bool sameShape = count <= 3 && std::all_of(parts.begin(), parts.end(), [&](const auto& p) {
    return p.size() == count;
  });
  if (count == 1 || !sameShape) return oneFactor(cellNames);
  std::vector<WithinFactor> factors = gridFactors(parts);
  return matchesGrid(factors, parts) ? factors : oneFactor(cellNames);
}

std::vector<Effect> cellEffects(const std::vector<std::string>& cellNames) {
  std::vector<Effect> effects;
  for (std::size_t c = 0; c < cellNames.size(); ++c) {
    std::vector<double> weights(cellNames.size(), 0.0);
    weights[c] = 1.0;
    effects.push_back(Effect{cellNames[c], std::move(weights), true});
  }
  return effects;
}

std::vector<Effect> factorialContrasts(const std::vector<WithinFactor>& factors) {
  std::vector<Effect> effects;
  const unsigned subsets = 1U << factors.size();
  // Main effects first, then two-way, then three-way interactions.
  for (int order = 1; order <= static_cast<int>(factors.size()); ++order)
    for (unsigned subset = 1; subset < subsets; ++subset) {
      if (std::popcount(subset) != order) continue;
      bool varies = true;
      for (std::size_t f = 0; f < factors.size(); ++f)
        if ((subset >> f & 1U) != 0 && factors[f].levels.size() < 2) varies = false;
      if (varies) addEffectsOf(subset, factors, effects);
    }
  return effects;
}

Result<Effect> parseContrast(std::string_view text, int32_t cells) {
  const std::size_t colon = text.find(':');
  const auto trim = [](std::string_view part) {
    const std::size_t first = part.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::string_view{};
    return part.substr(first, part.find_last_not_of(" \t") - first + 1);
  };
  if (colon == std::string_view::npos || trim(text.substr(0, colon)).empty())
    return Status::error("expected \"name: w1 w2 ...\", found \"" + std::string(text) + "\"");
  Effect effect{std::string(trim(text.substr(0, colon))), {}, false};
  std::string_view rest = text.substr(colon + 1);
  while (!(rest = trim(rest)).empty()) {
    const std::size_t end = std::min(rest.find_first_of(" \t"), rest.size());
    const std::string_view token = rest.substr(0, end);
    double weight = 0.0;
    const auto [stop, error] = std::from_chars(token.data(), token.data() + token.size(), weight);
    if (error != std::errc() || stop != token.data() + token.size() || !std::isfinite(weight))
      return Status::error("contrast \"" + effect.name + "\": expected a weight, found \"" +
                           std::string(token) + "\"");
    effect.weights.push_back(weight);
    rest = rest.substr(end);
  }
  if (static_cast<int32_t>(effect.weights.size()) != cells)
    return Status::error("contrast \"" + effect.name + "\" has " +
                         std::to_string(effect.weights.size()) + " weights; the design has " +
                         std::to_string(cells) + " cells");
  if (std::all_of(effect.weights.begin(), effect.weights.end(), [](double w) { return w == 0.0; }))
    return Status::error("contrast \"" + effect.name + "\" has only zero weights");
  return effect;
}

}  // namespace cohortix::host
