// A simulated host whose clock sleep and uname can be hooked by a test (the
// simulator itself is final): every other call goes to the simulator.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "simulator/simulator.h"

namespace tavo::test {

class HookedHost final : public platform::Host {
 public:
  // Installs itself over a fresh default simulator rooted at root.
  static HookedHost* install(const std::string& root);

  std::function<void(unsigned)> on_sleep;  // runs after the clock advanced
  bool uname_fails = false;
  sim::Simulator& sim() { return *sim_; }

  std::string root() const override { return sim_->root(); }
  int open(const std::string& p, int f, mode_t m) override { return sim_->open(p, f, m); }
  ssize_t read(int fd, void* b, size_t n) override { return sim_->read(fd, b, n); }
  ssize_t write(int fd, const void* b, size_t n) override { return sim_->write(fd, b, n); }
  off_t seek(int fd, off_t o, int w) override { return sim_->seek(fd, o, w); }
  int truncate(int fd, off_t l) override { return sim_->truncate(fd, l); }
  int fsync(int fd) override { return sim_->fsync(fd); }
  int fsync_dir(const std::string& p) override { return sim_->fsync_dir(p); }
  int close(int fd) override { return sim_->close(fd); }
  int rename(const std::string& a, const std::string& b) override { return sim_->rename(a, b); }
  int unlink(const std::string& p) override { return sim_->unlink(p); }
  int mkdir(const std::string& p, mode_t m) override { return sim_->mkdir(p, m); }
  int chmod(const std::string& p, mode_t m) override { return sim_->chmod(p, m); }
  int stat(const std::string& p, struct stat* st) override { return sim_->stat(p, st); }
  int fstat(int fd, struct stat* st) override { return sim_->fstat(fd, st); }
  int set_modified(int fd, const timespec& t) override { return sim_->set_modified(fd, t); }
  int list_directory(const std::string& p, std::vector<std::string>* n) override { return sim_->list_directory(p, n); }
  int lock(int fd, int cmd, struct flock* fl) override { return sim_->lock(fd, cmd, fl); }
  int page_get(key_t key, size_t size, bool create) override { return sim_->page_get(key, size, create); }
  void* page_attach(int id, bool writable) override { return sim_->page_attach(id, writable); }
  int page_detach(const void* at) override { return sim_->page_detach(at); }
  int page_status(int id, struct shmid_ds* ds) override { return sim_->page_status(id, ds); }
  int page_remove(int id) override { return sim_->page_remove(id); }
  int device_open(const std::string& p, int f) override { return sim_->device_open(p, f); }
  int device_ioctl(int fd, unsigned long r, void* a) override { return sim_->device_ioctl(fd, r, a); }
  int device_close(int fd) override { return sim_->device_close(fd); }
  int shell(const std::string& c) override { return sim_->shell(c); }
  int shell_output(const std::string& c, std::string* out) override { return sim_->shell_output(c, out); }
  time_t now() override { return sim_->now(); }
  timespec file_clock() override { return sim_->file_clock(); }
  uint64_t monotonic_ms() override { return sim_->monotonic_ms(); }
  void sleep_seconds(unsigned s) override {
    sim_->sleep_seconds(s);
    if (on_sleep) on_sleep(s);
  }
  int host_name(char* b, size_t n) override { return sim_->host_name(b, n); }
  int uname(struct utsname* out) override { return uname_fails ? -1 : sim_->uname(out); }

 private:
  std::unique_ptr<sim::Simulator> sim_;
};

inline HookedHost* HookedHost::install(const std::string& root) {
  sim::Topology t;
  std::string error;
  if (!sim::load_topology("default", &t, &error)) return nullptr;
  auto host = std::make_unique<HookedHost>();
  host->sim_ = std::make_unique<sim::Simulator>(std::move(t), root);
  HookedHost* raw = host.get();
  platform::install_host(std::move(host));
  return raw;
}

}  // namespace tavo::test
