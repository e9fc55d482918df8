#include "gcov/gcov_json.h"

#include <QtCore/QByteArray>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <filesystem>

#include "tio/conversion_error.h"

namespace zorvane::gcov {

using tio::ConversionError;

namespace {

std::uint32_t lineNumberOf(const QJsonValue &value) {
  const double number = value.toDouble(-1);
  if (!(number >= 0 && number <= UINT32_MAX))
    throw ConversionError("gcov's report has a bad line number");
  return static_cast<std::uint32_t>(number);
}

bool isPositive(const QJsonValue &count) { return count.toDouble(0) > 0; }

std::string absolutePath(const QJsonValue &file, const std::string &directory) {
  const std::filesystem::path path(file.toString().toStdString());
  if (path.empty()) throw ConversionError("gcov's report has a file without a path");
  return (path.is_absolute() ? path : std::filesystem::path(directory) / path)
      .lexically_normal()
      .string();
}

GcovFile readFile(const QJsonObject &file, const std::string &directory) {
  GcovFile result;
  result.path = absolutePath(file.value(QLatin1String("file")), directory);
  for (const QJsonValue function : file.value(QLatin1String("functions")).toArray()) {
    const QJsonObject object = function.toObject();
    result.functions.push_back({object.value(QLatin1String("name")).toString().toStdString(),
                                lineNumberOf(object.value(QLatin1String("start_line"))),
                                isPositive(object.value(QLatin1String("execution_count")))});
  }
  for (const QJsonValue line : file.value(QLatin1String("lines")).toArray()) {
    const QJsonObject object = line.toObject();
    GcovLine &entry = result.lines.emplace_back();
    entry.number = lineNumberOf(object.value(QLatin1String("line_number")));
    entry.ran = isPositive(object.value(QLatin1String("count")));
    for (const QJsonValue branch : object.value(QLatin1String("branches")).toArray())
      entry.branchesTaken.push_back(isPositive(branch.toObject().value(QLatin1String("count"))));
  }
  return result;
}

}  // namespace

void readGcovReport(std::string_view output, const std::function<void(GcovFile &&)> &onFile) {
  while (!output.empty()) {
    const std::size_t newline = output.find('\n');
    const std::string_view text = output.substr(0, newline);
    output.remove_prefix(newline == std::string_view::npos ? output.size() : newline + 1);
    if (text.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())), &error);
    const QJsonObject report = document.object();
    if (error.error != QJsonParseError::NoError || !report.value(QLatin1String("files")).isArray())
      throw ConversionError("gcov's report is not the JSON expected: " +
                            error.errorString().toStdString());
    const std::string directory =
        report.value(QLatin1String("current_working_directory")).toString().toStdString();
    for (const QJsonValue file : report.value(QLatin1String("files")).toArray())
      onFile(readFile(file.toObject(), directory));
  }
}

}  // namespace zorvane::gcov
