// Follows the file that receives the background programs' output (their message boxes, as the
// platform writes them for windowless programs), so that the front end can show what the scanner
// says while the front end is attached, between its own lines instead of across them.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_DAEMON_OUTPUT_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_DAEMON_OUTPUT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kolvar {

class DaemonOutputFollower {
 public:
  explicit DaemonOutputFollower(std::u16string path);

  // Lines written from now on are the ones to show: remembers the file's current end.
  void StartHere();
  // Lines completed since the last call (without their line breaks). A file that became shorter
  // was emptied by a newly started program: it is followed from its start.
  std::vector<std::string> TakeNewLines();
  // As TakeNewLines, and a last line without its line break too.
  std::vector<std::string> TakeRemainingLines();

 private:
  std::vector<std::string> Take(bool partial_too);

  std::u16string path_;
  uint64_t offset_ = 0;
  std::string pending_;  // a line not yet complete
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_DAEMON_OUTPUT_H_
