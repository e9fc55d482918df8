#include "optimizer/cost_file.h"

#include <QFile>
#include <QXmlStreamReader>

#include <charconv>
#include <cmath>

#include "base/fatal_error.h"

namespace zorvane::optimizer {

namespace {

constexpr std::string_view blanks = " \t\r\n";

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

void refuseCost(std::string_view cost, const std::string &path, std::uint64_t line) {
  throw FatalError(Message::BadCost, cost, path, std::to_string(line));
}

std::uint64_t costOrRefuse(std::string_view cost, const std::string &path, std::uint64_t line) {
  const std::optional<std::uint64_t> micros = microsecondsOf(cost);
  if (!micros) refuseCost(cost, path, line);
  return *micros;
}

CostTable parseTable(std::string_view text, const std::string &path) {
  CostTable costs;
  std::uint64_t number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t tab = line.rfind('\t');
    if (tab == std::string_view::npos || tab == 0) refuseCost(line, path, number);
    costs[std::string(line.substr(0, tab))] = costOrRefuse(line.substr(tab + 1), path, number);
  }
  return costs;
}

std::string junitName(const QString &className, const QString &name, JunitNames rule) {
  if (className.isEmpty() || rule == JunitNames::name) return name.toStdString();
  const char *joint = rule == JunitNames::dotted ? "." : "::";
  return (className + QLatin1String(joint) + name).toStdString();
}

CostTable parseJunit(std::string_view text, const std::string &path, JunitNames rule) {
  CostTable costs;
  QXmlStreamReader xml(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("testcase"))
      continue;
    const QXmlStreamAttributes attributes = xml.attributes();
    if (!attributes.hasAttribute(QLatin1String("time"))) continue;
    const std::string time = attributes.value(QLatin1String("time")).toString().toStdString();
    const std::string name = junitName(attributes.value(QLatin1String("classname")).toString(),
                                       attributes.value(QLatin1String("name")).toString(), rule);
    costs[name] = costOrRefuse(time, path, static_cast<std::uint64_t>(xml.lineNumber()));
  }
  if (xml.hasError())
    throw FatalError(Message::UnreadableCosts, path, std::to_string(xml.lineNumber()),
                     xml.errorString().toStdString());
  return costs;
}

}  // namespace

std::optional<JunitNames> junitNamesFrom(std::string_view text) {
  if (text == "dotted") return JunitNames::dotted;
  if (text == "name") return JunitNames::name;
  if (text == "colons") return JunitNames::colons;
  return std::nullopt;
}

std::optional<std::uint64_t> microsecondsOf(std::string_view seconds) {
  seconds = trimmed(seconds);
  // from_chars also reads "inf", "nan" and hexadecimal floats: digits first.
  const bool startsWell = !seconds.empty() && ((seconds.front() >= '0' && seconds.front() <= '9') ||
                                               seconds.front() == '.');
  if (!startsWell) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), value);
  if (error != std::errc() || end != seconds.data() + seconds.size()) return std::nullopt;
  if (!(value >= 0 && value <= 1e6)) return std::nullopt;
  return static_cast<std::uint64_t>(std::llround(value * 1e6));
}

CostTable parseCosts(std::string_view text, const std::string &path, JunitNames rule) {
  std::string_view start = text;
  if (start.starts_with("\xEF\xBB\xBF")) start.remove_prefix(3);
  const std::size_t first = start.find_first_not_of(blanks);
  if (first != std::string_view::npos && start[first] == '<') return parseJunit(text, path, rule);
  return parseTable(start, path);
}

CostTable readCostFile(const std::string &path, JunitNames rule) {
  QFile file(QString::fromLocal8Bit(path));
  if (!file.open(QIODevice::ReadOnly)) throw FatalError(Message::UnableToRead, path);
  const QByteArray contents = file.readAll();
  if (file.error() != QFileDevice::NoError) throw FatalError(Message::UnableToRead, path);
  return parseCosts(
      std::string_view(contents.constData(), static_cast<std::size_t>(contents.size())), path,
      rule);
}

}  // namespace zorvane::optimizer
