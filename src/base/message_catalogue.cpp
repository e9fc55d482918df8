#include "base/message_catalogue.h"

#include <QCoreApplication>

#include <cstdio>
#include <iterator>
#include <vector>

namespace zorvane {
namespace {

struct CatalogueEntry {
  const char *text;
  Severity severity;
};

// Source texts of the catalogue, context "Zorvane". Indexed by Message.
const CatalogueEntry catalogue[] = {
    {QT_TRANSLATE_NOOP("Zorvane", "Memory overflow\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Bad hexa value format in \"%1\" at line %2\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Number overflow in \"%1\" at line %2\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Too much covItem found\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Mandatory tst %1 (%2 covItem) %3\n"), Severity::Plain},
    {QT_TRANSLATE_NOOP("Zorvane", "CovItems:\n"), Severity::Plain},
    {QT_TRANSLATE_NOOP("Zorvane", "Unexpected data \"%1\" found line %2, line ignored\n"),
     Severity::Warning},
    {QT_TRANSLATE_NOOP("Zorvane", "Unable to open the file %1\n"), Severity::Warning},
    {QT_TRANSLATE_NOOP("Zorvane", "option require value\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Analysing %1\n"), Severity::Plain},
    {QT_TRANSLATE_NOOP("Zorvane", "Need tst %1:%2 %3\n"), Severity::Plain},
    {QT_TRANSLATE_NOOP("Zorvane", "Useless tst %1:%2 %3\n"), Severity::Plain},
    {QT_TRANSLATE_NOOP("Zorvane", "%1 %2 tests are needed\n"), Severity::Information},
    {QT_TRANSLATE_NOOP("Zorvane", "(unexpected error)"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Unable to read the file %1\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Search interrupted: the needed tests may not be the fewest\n"),
     Severity::Warning},
    {QT_TRANSLATE_NOOP("Zorvane", "Unknown option %1\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Option %1 requires a file name\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Unable to write the file %1: %2\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane",
                       "%1 is an LCOV tracefile, not a coverage file: convert it with zorvane-lcov "
                       "first\n"),
     Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane",
                       "%1 and %2 come from different builds (their build fingerprints differ): "
                       "their branches may not match\n"),
     Severity::Warning},
    {QT_TRANSLATE_NOOP("Zorvane", "FT key %1 names the source %2 in %3\n"), Severity::Serious},
    {QT_TRANSLATE_NOOP("Zorvane",
                       "FT key %1 also names the source %2 in %3: files that give one key to two "
                       "sources cannot be merged\n"),
     Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Option %1 %2 would write over the coverage file %3\n"),
     Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Options %1 and %2 name the same file %3\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Unable to write the standard output\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane",
                       "A coverage file could not be read: the result files are left as they "
                       "were\n"),
     Severity::Warning},
    {QT_TRANSLATE_NOOP("Zorvane", "Time limit reached: the needed tests may not be the fewest\n"),
     Severity::Warning},
    {QT_TRANSLATE_NOOP("Zorvane", "Option %1 requires a number of seconds\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Bad cost \"%1\" in %2 at line %3\n"), Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "Unable to read the costs in %1 at line %2: %3\n"),
     Severity::Fatal},
    {QT_TRANSLATE_NOOP("Zorvane", "%1 tests have no cost: each counts as %2 s\n"),
     Severity::Warning},
    {QT_TRANSLATE_NOOP("Zorvane",
                       "The needed tests take %1 s of the %2 s of the whole suite (%3%)\n"),
     Severity::Information},
    {QT_TRANSLATE_NOOP("Zorvane", "Option %1 takes dotted, name or colons, not %2\n"),
     Severity::Fatal},
};

// Severity words, context "Zorvane", indexed by severity 0 to 3.
const char *const severityWords[] = {
    QT_TRANSLATE_NOOP("Zorvane", "info:"),
    QT_TRANSLATE_NOOP("Zorvane", "warning:"),
    QT_TRANSLATE_NOOP("Zorvane", "serious:"),
    QT_TRANSLATE_NOOP("Zorvane", "fatal:"),
};

const char programPrefix[] = "Zorvane - ";

static_assert(std::size(catalogue) == messageCount, "one catalogue entry for every message");

std::string translated(const char *source) {
  return QCoreApplication::translate("Zorvane", source).toLocal8Bit().toStdString();
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a marker at text[pos] ("%" then 1 to 99, as QString::arg takes them);
// returns its number and length, or 0 when there is no marker there.
int markerAt(std::string_view text, std::size_t pos, std::size_t &length) {
  if (text[pos] != '%' || pos + 1 >= text.size() || !isDigit(text[pos + 1])) return 0;
  int number = text[pos + 1] - '0';
  length = 2;
  if (pos + 2 < text.size() && isDigit(text[pos + 2])) {
    number = number * 10 + (text[pos + 2] - '0');
    length = 3;
  }
  return number;
}

}  // namespace

Severity messageSeverity(Message message) { return catalogue[static_cast<int>(message)].severity; }

UntranslatedMessage untranslatedMessage(Message message) {
  const CatalogueEntry &entry = catalogue[static_cast<int>(message)];
  if (entry.severity == Severity::Plain) return {{}, {}, entry.text};
  return {programPrefix, severityWords[static_cast<int>(entry.severity)], entry.text};
}

std::string substituteMarkers(std::string_view text, MessageArg first, MessageArg second,
                              MessageArg third) {
  std::vector<std::string_view> present;
  for (const MessageArg &arg : {first, second, third})
    if (arg) present.push_back(*arg);

  // The distinct marker numbers of the text, lowest first.
  bool used[100] = {};
  for (std::size_t pos = 0, length = 0; pos < text.size(); ++pos)
    if (int number = markerAt(text, pos, length)) used[number] = true;
  const std::string_view *argumentOf[100] = {};
  std::size_t next = 0;
  for (int number = 0; number < 100 && next < present.size(); ++number)
    if (used[number]) argumentOf[number] = &present[next++];

  std::string result;
  result.reserve(text.size() + 64);
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = 0;
    int number = markerAt(text, pos, length);
    if (number && argumentOf[number]) {
      result += *argumentOf[number];
      pos += length;
    } else {
      result += text[pos++];
    }
  }
  return result;
}

std::string composeMessage(Message message, MessageArg first, MessageArg second, MessageArg third) {
  const CatalogueEntry &entry = catalogue[static_cast<int>(message)];
  std::string line;
  if (entry.severity != Severity::Plain) {
    line += programPrefix;
    line += ' ';
    line += translated(severityWords[static_cast<int>(entry.severity)]);
    line += ' ';
  }
  line += substituteMarkers(translated(entry.text), first, second, third);
  return line;
}

std::string escapeControlBytes(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool lineEnd = i + 1 == text.size() && byte == '\n';
    if ((byte >= 0x20 && byte != 0x7f) || byte == '\t' || lineEnd) {
      shown += text[i];
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      shown += escaped;
    }
  }
  return shown;
}

}  // namespace zorvane
