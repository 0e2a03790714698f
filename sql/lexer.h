// Tokens of the query language: names (bare or in brackets), text, number
// and #date# literals, operators and punctuation.
#pragma once

#include <string>
#include <vector>

namespace sql {

enum class Tok {
  End,
  Name,         // bare word: keyword or identifier
  Bracketed,    // [any name]
  String,       // 'text' or "text", quotes removed, doubled quotes undone
  Number,       // 12, 1.5, .5, 1E3, &H1F (text kept as written)
  Date,         // #...# (inner text)
  Op,           // + - * / \ ^ & = <> < > <= >= ( ) , . ; !
};

struct Token {
  Tok kind = Tok::End;
  std::string text;
  size_t pos = 0;  // byte offset in the statement
};

// Splits a statement into tokens; throws jet::Error(3075) on an unterminated
// literal or bracket, or a character the language does not use.
std::vector<Token> tokenize(const std::string& text);

}  // namespace sql
