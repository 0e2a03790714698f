#include "sql/lexer.h"

#include <cctype>

#include "jet/error.h"

namespace sql {

namespace {

// Classes of bytes, in ASCII whatever the locale (every byte from 0x80 up
// belongs to a name).
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isNameStart(unsigned char c) { return isLetter(c) || c == '_' || c >= 0x80; }
bool isNameChar(unsigned char c) { return isLetter(c) || isDigit(c) || c == '_' || c >= 0x80 || c == '$'; }

[[noreturn]] void fail(const std::string& what, const std::string& text) {
  throw jet::Error(jet::err::kSyntax, "Syntax error (" + what + ") in query expression '" + text + "'.");
}

// The expression a failure lies in, as the product quotes it: from the
// start of the clause (after WHERE, HAVING, ON, BY, SELECT) to the end of the
// statement, without a closing semicolon.
std::string clauseText(const std::vector<Token>& out, const std::string& s, size_t at) {
  size_t start = at;
  for (size_t k = out.size(); k-- > 0;) {
    if (out[k].kind != Tok::Name) continue;
    std::string u;
    for (char ch : out[k].text) u.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
    if (u == "WHERE" || u == "HAVING" || u == "ON" || u == "BY" || u == "SELECT") {
      start = k + 1 < out.size() ? out[k + 1].pos : at;
      break;
    }
  }
  std::string t = s.substr(start);
  while (!t.empty() && (std::isspace(static_cast<unsigned char>(t.back())) || t.back() == ';')) t.pop_back();
  return t;
}

// ".5" is a number after an operator or a keyword, and a qualifier dot
// after a name.
bool leadingDotNumber(const std::vector<Token>& out) {
  if (out.empty()) return true;
  const Token& p = out.back();
  if (p.kind == Tok::Op) return p.text != ")";
  if (p.kind != Tok::Name) return false;
  std::string u;
  for (char ch : p.text) u.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
  static const char* words[] = {"SELECT", "WHERE", "AND", "OR", "NOT", "BETWEEN", "IN", "LIKE", "MOD", "XOR",
                                "EQV", "IMP", "HAVING", "ON", "TOP", "BY", "IS", "DISTINCT", "ALL"};
  for (const char* w : words)
    if (u == w) return true;
  return false;
}

}  // namespace

std::vector<Token> tokenize(const std::string& s) {
  std::vector<Token> out;
  out.reserve(s.size() / 4 + 4);
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c < 0x20) { ++i; continue; }
    Token t;
    t.pos = i;
    if (c == '[') {
      size_t j = s.find(']', i + 1);
      if (j == std::string::npos) fail("missing closing bracket", s.substr(i));
      t.kind = Tok::Bracketed;
      t.text = s.substr(i + 1, j - i - 1);
      i = j + 1;
    } else if (c == '\'' || c == '"') {
      char q = static_cast<char>(c);
      std::string v;
      size_t j = i + 1;
      bool closed = false;
      while (j < n) {
        if (s[j] == q) {
          if (j + 1 < n && s[j + 1] == q) { v.push_back(q); j += 2; continue; }
          closed = true;
          ++j;
          break;
        }
        v.push_back(s[j++]);
      }
      if (!closed) {
        // After an operand (as in 'O'Brien', where the value's own quote
        // ended the text) the operator is what is missing.
        bool afterOperand = !leadingDotNumber(out);
        throw jet::Error(jet::err::kSyntax, std::string(afterOperand ? "Syntax error (missing operator)" : "Syntax error in string") +
                                                " in query expression '" + clauseText(out, s, i) + "'.");
      }
      t.kind = Tok::String;
      t.text = std::move(v);
      i = j;
    } else if (c == '#') {
      size_t j = s.find('#', i + 1);
      if (j == std::string::npos) fail("missing closing #", s.substr(i));
      t.kind = Tok::Date;
      t.text = s.substr(i + 1, j - i - 1);
      i = j + 1;
    } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(static_cast<unsigned char>(s[i + 1])) &&
                                   leadingDotNumber(out))) {
      size_t j = i;
      while (j < n && isDigit(static_cast<unsigned char>(s[j]))) ++j;
      if (j < n && s[j] == '.') {
        ++j;
        while (j < n && isDigit(static_cast<unsigned char>(s[j]))) ++j;
      }
      if (j < n && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && isDigit(static_cast<unsigned char>(s[k]))) {
          while (k < n && isDigit(static_cast<unsigned char>(s[k]))) ++k;
          j = k;
        }
      }
      t.kind = Tok::Number;
      t.text = s.substr(i, j - i);
      i = j;
    } else if (c == '&' && i + 1 < n && (s[i + 1] == 'H' || s[i + 1] == 'h') && i + 2 < n &&
               std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      size_t j = i + 2;
      while (j < n && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
      t.kind = Tok::Number;
      t.text = s.substr(i, j - i);
      i = j;
    } else if (isNameStart(c)) {
      size_t j = i;
      while (j < n && isNameChar(static_cast<unsigned char>(s[j]))) ++j;
      t.kind = Tok::Name;
      t.text = s.substr(i, j - i);
      i = j;
    } else {
      t.kind = Tok::Op;
      if (i + 1 < n) {
        const char a = s[i], b = s[i + 1];
        if ((a == '<' && (b == '>' || b == '=')) || (a == '>' && b == '=') || (a == '!' && b == '=')) {
          t.text = a == '!' ? std::string("<>") : s.substr(i, 2);
          i += 2;
          out.push_back(std::move(t));
          continue;
        }
      }
      static const std::string ops = "+-*/\\^&=<>(),.;!?";
      if (ops.find(static_cast<char>(c)) == std::string::npos)
        fail("invalid character '" + std::string(1, static_cast<char>(c)) + "'", s);
      t.text = std::string(1, static_cast<char>(c));
      ++i;
    }
    out.push_back(std::move(t));
  }
  Token end;
  end.pos = n;
  out.push_back(end);
  return out;
}

}  // namespace sql
