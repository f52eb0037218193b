/* peak_rss FOLDER PROGRAM: runs PROGRAM with FOLDER as its working directory
   and prints its peak resident size in KiB and its exit status.

   Linux counts into a child's peak the resident size of the process image it
   replaced at exec, so a large parent (a Python runner, say) would inflate
   the figure. This starter is a small C program, which keeps that floor
   low. */
#define _GNU_SOURCE
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: peak_rss FOLDER PROGRAM\n");
    return 2;
  }
  if (chdir(argv[1]) != 0) {
    perror(argv[1]);
    return 2;
  }
  char* childArgv[] = {argv[2], NULL};
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[2], NULL, NULL, childArgv, environ) != 0) {
    perror(argv[2]);
    return 2;
  }
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) {
    perror("wait4");
    return 2;
  }
  printf("%ld %d\n", usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}
