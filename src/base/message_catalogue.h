#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane {

// The numbered message catalogue. The numbers are part of the tool's
// interface: translations and users refer to them.
enum class Message {
  MemoryOverflow = 0,
  BadHexaValue = 1,
  NumberOverflow = 2,
  TooMuchCovItem = 3,
  MandatoryTest = 4,
  CovItemsTitle = 5,
  UnexpectedData = 6,
  UnableToOpen = 7,
  OptionRequiresValue = 8,
  Analysing = 9,
  NeedTest = 10,
  UselessTest = 11,
  TestsNeeded = 12,
  UnexpectedError = 13,
  UnableToRead = 14,
  SearchInterrupted = 15,
  UnknownOption = 16,
  OptionRequiresFile = 17,
  UnableToWrite = 18,
  TracefileGiven = 19,
  DifferentBuilds = 20,
  SourceKeyNamed = 21,
  SourceKeyClash = 22,
  ResultFileIsInput = 23,
  ResultFilesClash = 24,
  UnableToWriteOutput = 25,
  ResultFilesKept = 26,
  TimeLimitReached = 27,
  OptionRequiresSeconds = 28,
  BadCost = 29,
  UnreadableCosts = 30,
  TestsWithoutCost = 31,
  NeededTestsCost = 32,
  UnknownNameRule = 33,
};
inline constexpr std::size_t messageCount = static_cast<std::size_t>(Message::UnknownNameRule) + 1;

// Severities of catalogue entries: 0 to 3 carry a translated word after the
// program prefix, Plain entries are written without any prefix.
enum class Severity { Information = 0, Warning = 1, Serious = 2, Fatal = 3, Plain = 5 };

// An argument of a message: bytes as read or formed, or absent (null).
using MessageArg = std::optional<std::string_view>;

Severity messageSeverity(Message message);

// The pieces of a catalogue entry's line untranslated and without its
// arguments, for when no memory is left to translate: the source texts still
// tell what happened. Plain entries have an empty prefix and severity word.
struct UntranslatedMessage {
  std::string_view prefix;
  std::string_view severityWord;
  std::string_view text;
};
UntranslatedMessage untranslatedMessage(Message message);

// Fills the %n markers of `text` in one pass: the present arguments, in order,
// take the distinct marker numbers of the text in ascending order, every
// occurrence of each; bytes brought in by an argument are never scanned again,
// and markers left without an argument stay as they are.
std::string substituteMarkers(std::string_view text, MessageArg first, MessageArg second,
                              MessageArg third);

// The whole line of a catalogue entry as it is written: prefix, translated
// severity word, translated text with the arguments in place.
std::string composeMessage(Message message, MessageArg first = {}, MessageArg second = {},
                           MessageArg third = {});

// The text with its control bytes shown as "\xHH": every byte below 0x20
// but the tab, and 0x7F; a line end that ends the text stays. Bytes above
// 0x7F stay as they are.
std::string escapeControlBytes(std::string_view text);

}  // namespace zorvane
