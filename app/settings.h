// The settings file "MDBGlimmer.ini": a private-profile text file of
// [section] headers and key=value lines. Section and key names match without
// regard to case; a new key goes to the end of its section, a new section to
// the end of the file, so entries stay in the order they were first written.
// Every read goes to the file (no cache), every write rewrites it.
#pragma once

#include <string>

namespace app {

class ProfileFile {
 public:
  explicit ProfileFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // The value, or fallback when the file, the section or the key is missing.
  // Values are returned whole (no length limit).
  std::string read(const std::string& section, const std::string& key,
                   const std::string& fallback) const;
  // Creates the file and the section when missing; replaces the value of an
  // existing key (keeping the key's first spelling) or appends the key.
  // False when the file cannot be written.
  bool write(const std::string& section, const std::string& key, const std::string& value) const;

 private:
  std::string path_;
};

// Names used by the program.
inline constexpr const char* kIniFileName = "MDBGlimmer.ini";
inline constexpr const char* kSettingsSection = "Program Settings";
inline constexpr const char* kIniDefault = "NOT FOUND";

// Where the settings file lives. An installed program (one whose folder has
// the installed data folder ../share/brackwell-glimmer beside it, as /usr/bin
// has) keeps it in the user's configuration folder,
// $XDG_CONFIG_HOME/brackwell-glimmer or ~/.config/brackwell-glimmer, created on
// demand; that holds even when the program's folder is writable (root).
// Otherwise (a build folder) it lives beside the executable when that folder
// is writable, and in the configuration folder when it is not.
std::string defaultSettingsPath(const std::string& programDir);

// True when programDir is the folder of an installed program (see above).
bool isInstalledProgramDir(const std::string& programDir);

// The font size a "FontSize" value stands for: the leading decimal number
// after optional blanks, rounded to the nearest integer with halves to the
// even neighbour; 0 when there is no number or it does not fit 1..32767.
int parseFontSize(const std::string& value);

// Program title "Brackwell Glimmer For Access Ver M.m.r".
std::string appTitleFor(int major, int minor, int revision);

}  // namespace app
