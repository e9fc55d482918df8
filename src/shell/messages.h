#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

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

// Severities of catalogue entries: 0 to 3 carry a translated word after the
// program prefix, Plain entries are written without any prefix.
enum class Severity { Information = 0, Warning = 1, Serious = 2, Fatal = 3, Plain = 5 };

// An argument of a message: bytes as read or formed, or absent (null).
using MessageArg = std::optional<std::string_view>;

Severity messageSeverity(Message message);

// The untranslated source text of a catalogue entry (context "Zorvane").
const char *messageSourceText(Message message);

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

// Writes the composed message on the standard error stream, after flushing
// the standard output stream so that both keep the order of events. When
// that stream is a terminal, the arguments are shown with their control
// bytes escaped (escapeControlBytes). A fatal
// entry then ends the process with status 1 (throws ProcessExit).
void reportMessage(Message message, MessageArg first = {}, MessageArg second = {},
                   MessageArg third = {});

// Whether `message` has been reported by this process.
bool wasReported(Message message);

// Makes sure that everything written so far on the standard streams got
// out: a failure on the standard output stream is message 27 (fatal); one on
// the standard error stream, where no message can go, ends the process with
// status 1 all the same.
void checkStandardStreams();

// Allocation of raw blocks. Failure throws std::bad_alloc, which the entry
// reports as message 0 (and which another thread can hand over to it).
void *checkedAlloc(std::size_t size);
void *checkedRealloc(void *block, std::size_t size);
