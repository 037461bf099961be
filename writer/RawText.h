#pragma once
// Structural search in raw object text ("12 0 obj << ... >> endobj"): finds the keys
// of the object's own dictionary and the extent of their values without
// re-serialising anything, so that edits are insertions into the original bytes.
// Strings, comments and nested dictionaries are stepped over, so a key that also
// occurs inside a string or a nested dictionary is not mistaken for the object's own.
#include <cstddef>
#include <string>

namespace RawText {

constexpr size_t npos = std::string::npos;

/// Index just after the "obj" keyword of the object header; 0 when the text does not
/// start with a header.
size_t BodyStart(const std::string& t);
/// First "<<" at or after from (plain byte search); npos when there is none.
size_t FindDictOpen(const std::string& t, size_t from);
/// First '[' of the object body (the opening of an array object); npos when none.
size_t FindArrayOpen(const std::string& t, size_t from);
/// Index of the first byte at or after p that is neither white space nor in a comment.
size_t SkipSpace(const std::string& t, size_t p);
/// Index just after the value that starts at p (dictionary, array, string, name,
/// number, "n g R" reference or keyword); npos when the value is not closed.
size_t ValueEnd(const std::string& t, size_t p);
/// Index of "/key" among the keys of the dictionary whose "<<" is at dictOpen;
/// npos when the dictionary does not hold it at its own level.
size_t FindKey(const std::string& t, size_t dictOpen, const char* key);
/// For the key found at keyPos: the value's start (after white space) and end.
/// False when the value is missing or not closed.
bool ValueSpan(const std::string& t, size_t keyPos, size_t& start, size_t& end);

}  // namespace RawText
