#include "bare_pass_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

static char text[1 << 20];

/* The file into text, at most limit bytes, NUL-terminated; its length, 0 when unreadable. */
static size_t ReadFileUpTo(const char* path, size_t limit) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  size_t size = 0;
  ssize_t n;
  if (limit > sizeof text - 1) limit = sizeof text - 1;
  while (size < limit && (n = read(fd, text + size, limit - size)) > 0) size += (size_t)n;
  close(fd);
  text[size] = 0;
  return size;
}

static size_t ReadFile(const char* path) { return ReadFileUpTo(path, sizeof text - 1); }

/* Copies the blank-delimited word at *p into word and moves past it. */
static void NextWord(const char** p, char* word, size_t room) {
  while (**p == ' ' || **p == '\t') ++*p;
  size_t n = 0;
  while (**p && **p != ' ' && **p != '\t' && **p != '\n') {
    if (n + 1 < room) word[n++] = **p;
    ++*p;
  }
  word[n] = 0;
}

typedef char Name[32];

/* Reads the file that format names for each name, once. */
static unsigned long ReadForEach(const char* format, Name* names, int count) {
  unsigned long total = 0;
  for (int i = 0; i < count; ++i) {
    char path[512];
    snprintf(path, sizeof path, format, names[i]);
    total += ReadFile(path);
  }
  return total;
}

static unsigned long Processors(void) {
  unsigned long total = ReadFile("/proc/stat");
  Name cpus[256];
  int count = 0;
  for (const char* line = text; line && count < 256; line = strchr(line, '\n'), line = line ? line + 1 : 0) {
    if (strncmp(line, "cpu", 3) != 0 || line[3] < '0' || line[3] > '9') continue;
    const char* p = line + 3;
    NextWord(&p, cpus[count++], sizeof cpus[0]);
  }
  return total + ReadForEach("/sys/devices/system/cpu/cpu%.31s/topology/physical_package_id", cpus, count);
}

static unsigned long NetworkDevices(void) {
  unsigned long total = ReadFile("/proc/net/dev");
  Name names[64];
  int count = 0;
  for (const char* line = text; line && count < 64; line = strchr(line, '\n'), line = line ? line + 1 : 0) {
    const char* colon = strchr(line, ':');
    const char* end = strchr(line, '\n');
    if (!colon || (end && colon > end)) continue;
    while (*line == ' ') ++line;
    size_t n = (size_t)(colon - line) < sizeof names[0] ? (size_t)(colon - line) : sizeof names[0] - 1;
    memcpy(names[count], line, n);
    names[count++][n] = 0;
  }
  return total + ReadForEach("/sys/class/net/%.31s/flags", names, count);
}

static unsigned long Disks(void) {
  unsigned long total = ReadFile("/proc/self/mounts");
  for (const char* line = text; line && *line; line = strchr(line, '\n'), line = line ? line + 1 : 0) {
    char source[256], mountPoint[256];
    const char* p = line;
    NextWord(&p, source, sizeof source);
    NextWord(&p, mountPoint, sizeof mountPoint);
    if (strncmp(source, "/dev/", 5) != 0 && strcmp(mountPoint, "/") != 0) continue;
    struct stat st;
    struct statvfs fs;
    if (stat(mountPoint, &st) == 0 && statvfs(mountPoint, &fs) == 0) total += sizeof fs;
  }
  return total;
}

static unsigned long Processes(void) {
  unsigned long total = 0;
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  struct dirent* entry;
  while ((entry = readdir(proc)) != 0) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    char path[512], target[4096];
    snprintf(path, sizeof path, "/proc/%s/exe", entry->d_name);
    ssize_t n = readlink(path, target, sizeof target);
    if (n > 0) {
      total += (unsigned long)n;
      continue;
    }
    snprintf(path, sizeof path, "/proc/%s/cmdline", entry->d_name);
    total += ReadFileUpTo(path, 4096); /* argv[0] is all a pass wants */
    snprintf(path, sizeof path, "/proc/%s/comm", entry->d_name);
    total += ReadFile(path);
  }
  closedir(proc);
  return total;
}

unsigned long BareReadPass(void) {
  unsigned long total = Processors();
  total += ReadFile("/proc/meminfo");
  total += NetworkDevices();
  total += Disks();
  total += ReadFile("/proc/loadavg");
  total += Processes();
  total += ReadFile("/proc/net/tcp");
  total += ReadFile("/proc/net/tcp6");
  return total;
}
