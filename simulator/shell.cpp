// A small stand-in for the host's /bin/sh: pipelines of the commands the
// library runs (shell_commands.cpp) with output redirection.
#include <fstream>
#include <map>

#include "simulator/simulator.h"

namespace tavo::sim {
namespace {

struct Token {
  std::string text;
  bool op = false;  // unquoted |, >, >>, 2>, 2>&1
};

std::vector<Token> tokenize(const std::string& line) {
  std::vector<Token> out;
  std::string cur;
  bool have = false;
  auto flush = [&] {
    if (have) out.push_back(Token{cur, false});
    cur.clear();
    have = false;
  };
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\'') {
      size_t j = line.find('\'', i + 1);
      if (j == std::string::npos) j = line.size();
      cur += line.substr(i + 1, j - i - 1);
      have = true;
      i = j;
    } else if (c == '"') {
      ++i;
      while (i < line.size() && line[i] != '"') {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
        cur += line[i++];
      }
      have = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      cur += line[++i];
      have = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      flush();
    } else if (c == '|' || c == ';') {
      flush();
      out.push_back(Token{std::string(1, c), true});
    } else if (c == '>') {
      const bool stderr_redirect = have && cur == "2";
      std::string op(stderr_redirect ? "2>" : ">");
      if (stderr_redirect) {
        cur.clear();
        have = false;
      }
      flush();
      if (i + 1 < line.size() && line[i + 1] == '>') {
        op += ">";
        ++i;
      }
      if (i + 2 < line.size() && line[i + 1] == '&' && line[i + 2] == '1') {
        op += "&1";
        i += 2;
      }
      out.push_back(Token{op, true});
    } else {
      cur += c;
      have = true;
    }
  }
  flush();
  return out;
}

}  // namespace

Simulator::ShellResult Simulator::run_pipeline(const std::string& line) {
  std::vector<Token> tokens = tokenize(line);
  ShellResult last;
  std::string input;
  std::vector<std::string> words;
  // The stage's redirections in order: (operator, file).
  std::vector<std::pair<std::string, std::string>> redirects;
  auto finish_stage = [&] {
    last = run_stage(words, input);
    // Where standard output and error go: the pipe, a file, or nowhere
    // (the terminal, /dev/null).
    struct Sink {
      bool pipe = true;
      std::string file;
      bool append = false;
    };
    Sink out, err{false, "", false};
    for (const auto& [op, file] : redirects) {
      if (op == ">" || op == ">>") out = Sink{false, file, op == ">>"};
      if (op == "2>" || op == "2>>") err = Sink{false, file, op == "2>>"};
      if (op == "2>&1") err = out;
    }
    std::string piped;
    std::map<std::string, std::pair<bool, std::string>> files;  // file -> (append, text)
    for (const auto& [sink, text] : {std::make_pair(out, last.out), std::make_pair(err, last.err)}) {
      if (sink.pipe) {
        piped += text;
      } else if (!sink.file.empty() && sink.file != "/dev/null") {
        auto& f = files.try_emplace(sink.file, sink.append, "").first->second;
        f.second += text;
      }
    }
    for (const auto& [file, content] : files) {
      std::ofstream f(under_root(file), content.first ? std::ios::app : std::ios::trunc);
      f << content.second;
    }
    input = last.out = piped;
    last.err.clear();
    words.clear();
    redirects.clear();
  };
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (!t.op) {
      words.push_back(t.text);
    } else if (t.text == "|") {
      finish_stage();
    } else if (t.text == ";") {
      finish_stage();
      input.clear();
    } else if (t.text == "2>&1") {
      redirects.emplace_back(t.text, "");
    } else if (i + 1 < tokens.size()) {
      redirects.emplace_back(t.text, tokens[++i].text);
    }
  }
  finish_stage();
  return last;
}

std::string Simulator::under_root(const std::string& path) const {
  if (strip_root(path) != path || root_.empty() || path.empty()) return path;
  return root_ + (path[0] == '/' ? "" : "/") + path;
}

const SimFunction* Simulator::nic_named(const std::string& name) const {
  for (const auto& f : topology_.functions)
    if (f.kind == FunctionKind::Nic && f.ifname == name) return &f;
  return nullptr;
}

int Simulator::shell(const std::string& command) {
  std::string ignored;
  return shell_output(command, &ignored);
}

int Simulator::shell_output(const std::string& command, std::string* output) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  log_request(LogKind::Shell, "", 0, {reinterpret_cast<const uint8_t*>(command.data()), command.size()});
  // A command may change the host's interfaces, a VF table or the
  // firmware it flashes.
  command_begin(true);
  touch(kPartHost);
  ShellResult r = run_pipeline(command);
  // A change the adapters cannot keep fails, as a driver's would.
  if (!command_end(true)) r = ShellResult{1, "", "cannot keep the change"};
  *output = std::move(r.out);
  return (r.status & 0xFF) << 8;
}

}  // namespace tavo::sim
