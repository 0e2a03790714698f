#include "app/settings.h"

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace app {
namespace {

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

bool sameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::vector<std::string> readLines(const std::string& path, bool* exists) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  if (exists) *exists = static_cast<bool>(in);
  if (!in) return lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// "[name]" -> name; false for any other line.
bool sectionName(const std::string& line, std::string& name) {
  std::string t = trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = trim(t.substr(1, close - 1));
  return true;
}

// "key=value" -> key, value; false for other lines (comments, blanks).
bool keyLine(const std::string& line, std::string& key, std::string& value) {
  std::string t = trim(line);
  if (t.empty() || t[0] == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = trim(t.substr(0, eq));
  value = trim(t.substr(eq + 1));
  return true;
}

}  // namespace

std::string ProfileFile::read(const std::string& section, const std::string& key,
                              const std::string& fallback) const {
  bool exists = false;
  auto lines = readLines(path_, &exists);
  bool inSection = false;
  for (const auto& line : lines) {
    std::string name, k, v;
    if (sectionName(line, name)) {
      if (inSection) break;  // only the first section of that name counts
      inSection = sameNoCase(name, section);
      continue;
    }
    if (inSection && keyLine(line, k, v) && sameNoCase(k, key)) {
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return v;
    }
  }
  return fallback;
}

bool ProfileFile::write(const std::string& section, const std::string& key,
                        const std::string& value) const {
  auto lines = readLines(path_, nullptr);
  int sectionAt = -1, sectionEnd = -1, keyAt = -1;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    std::string name, k, v;
    if (sectionName(lines[i], name)) {
      if (sectionAt >= 0) break;
      if (sameNoCase(name, section)) sectionAt = i, sectionEnd = i;
      continue;
    }
    if (sectionAt < 0) continue;
    if (keyLine(lines[i], k, v)) {
      sectionEnd = i;
      if (keyAt < 0 && sameNoCase(k, key)) keyAt = i;
    }
  }
  if (keyAt >= 0) {
    std::string k, v;
    keyLine(lines[keyAt], k, v);
    lines[keyAt] = k + "=" + value;
  } else if (sectionAt >= 0) {
    lines.insert(lines.begin() + sectionEnd + 1, key + "=" + value);
  } else {
    while (!lines.empty() && trim(lines.back()).empty()) lines.pop_back();
    lines.push_back("[" + section + "]");
    lines.push_back(key + "=" + value);
  }
  std::string tmp = path_ + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const auto& l : lines) out << l << "\n";
    if (!out.flush()) return false;
  }
  std::error_code ec;
  fs::rename(tmp, path_, ec);
  if (ec) {
    fs::remove(tmp, ec);
    return false;
  }
  return true;
}

bool isInstalledProgramDir(const std::string& programDir) {
  if (programDir.empty()) return false;
  std::error_code ec;
  return fs::is_directory(fs::path(programDir) / ".." / "share" / "brackwell-glimmer", ec);
}

std::string defaultSettingsPath(const std::string& programDir) {
  if (!programDir.empty() && !isInstalledProgramDir(programDir) &&
      ::access(programDir.c_str(), W_OK) == 0) {
    fs::path p = fs::path(programDir) / kIniFileName;
    // An existing settings file that cannot be written does not count.
    if (!fs::exists(p) || ::access(p.c_str(), W_OK) == 0) return p.string();
  }
  fs::path base;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    base = x;
  else if (const char* h = std::getenv("HOME"); h && *h)
    base = fs::path(h) / ".config";
  else
    base = fs::temp_directory_path();
  fs::path dir = base / "brackwell-glimmer";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return (dir / kIniFileName).string();
}

int parseFontSize(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  size_t start = i;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
  size_t digitsAt = i;
  while (i < value.size() && std::isdigit(static_cast<unsigned char>(value[i]))) ++i;
  bool intDigits = i > digitsAt;
  bool fracDigits = false;
  if (i < value.size() && value[i] == '.') {
    ++i;
    size_t f = i;
    while (i < value.size() && std::isdigit(static_cast<unsigned char>(value[i]))) ++i;
    fracDigits = i > f;
  }
  if (!intDigits && !fracDigits) return 0;
  double d = std::strtod(value.substr(start, i - start).c_str(), nullptr);
  double r = std::nearbyint(d);  // default rounding mode: halves to even
  if (!(r >= 1 && r <= 32767)) return 0;
  return static_cast<int>(r);
}

std::string appTitleFor(int major, int minor, int revision) {
  return "Brackwell Glimmer For Access Ver " + std::to_string(major) + "." + std::to_string(minor) +
         "." + std::to_string(revision);
}

}  // namespace app
