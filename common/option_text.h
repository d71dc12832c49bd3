// The form in which every settings value of the command line writes itself back ("unparse"):
// command-line words appended to a text, each followed by one blank, that parse back to the same
// value. The multi-process run builds its children's command lines from them, and the graphical
// panel will build the command it starts the same way.
//
// Contract for an unparse operation: it appends (never clears) and writes only what differs from
// the parser's defaults. Numbers take the forms the tool documents for them ("%lf", "%g"), and
// where no form is documented the shortest form that reads back exactly (append_number).
#pragma once

#include <string>
#include <string_view>
#include <vector>

// "-name ".
void append_option(std::string& text, std::string_view option);
// The word, in double quotes when it is empty or holds a blank, so that it stays one word.
void append_word(std::string& text, std::string_view word);
// The shortest decimal text that reads back to exactly this value.
void append_number(std::string& text, double value);
void append_number(std::string& text, float value);
void append_number(std::string& text, long long value);

// Splits a command-line text into its words: blanks separate them, double quotes keep a word
// with blanks together (and are removed). The inverse of the appends above.
std::vector<std::string> split_command_words(std::string_view text);
