#pragma once
// sorvanto-cli started as a child process with its standard output and error on a terminal of
// its own (a pseudo-terminal), so that it shows its progress as it does for a person, and so
// that a test can send it a signal in the middle of a song.

#include <string>
#include <vector>

namespace svt::test {

class CliChild {
  public:
    // Starts the built sorvanto-cli with `args`, standard input empty.
    explicit CliChild(const std::vector<std::string>& args);
    ~CliChild();
    CliChild(const CliChild&) = delete;
    CliChild& operator=(const CliChild&) = delete;

    bool started() const { return pid_ > 0; }
    // Reads what the program shows until `text` appears; false when it ended first.
    bool waitFor(const std::string& text);
    void signal(int number);
    // Waits until the program has ended; its status as waitpid gives it.
    int wait();
    // Everything the program has shown so far.
    const std::string& shown() const { return shown_; }

  private:
    bool readSome();

    int pid_ = -1;
    int terminal_ = -1;
    int status_ = -1;
    std::string shown_;
};

}  // namespace svt::test
