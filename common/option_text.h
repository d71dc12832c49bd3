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
// The word, in double quotes when it is empty, holds a blank or starts with a double quote, so that
// it stays one word whatever else it holds. Inside double quotes a quote is written twice.
void append_word(std::string& text, std::string_view word);
// The word always in double quotes (the form some options document for names), quotes inside
// written twice.
void append_quoted(std::string& text, std::string_view word);
// The shortest decimal text that reads back to exactly this value.
void append_number(std::string& text, double value);
void append_number(std::string& text, float value);
void append_number(std::string& text, long long value);
// The value in the printf form the tool documents for it ("%lf", "%g") when that form reads back
// to exactly this value, else in the shortest exact form: "0.010000", but never "0.000000" for
// 1e-7 or "4.83e+06" for 4830000.5.
void append_number_in_form(std::string& text, double value, const char* form);
void append_number_in_form(std::string& text, float value, const char* form);

// Splits a command-line text into its words: blanks separate them, and a word that starts with a
// double quote runs to the next single double quote (two quotes in a row stand for one quote in
// the word); the enclosing quotes are removed. Quotes inside an unquoted word are part of it. The
// inverse of the appends above.
std::vector<std::string> split_command_words(std::string_view text);
