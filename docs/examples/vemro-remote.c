/* Drives a running Vemro from outside: hands it a list of network songs (codes 2 and
 * 22 of the command record) or sends it a remote-control message 1807 and prints the
 * answer. Plain C and POSIX, no Vemro headers needed:
 *
 *   cc -o vemro-remote vemro-remote.c            (add -lrt on old C libraries)
 *   vemro-remote list 2 'xsong/a.mp3|Title-Singer,'   add and play the first
 *   vemro-remote list 22 'xsong/b.mp3|Other-Singer,'  add without playing
 *   vemro-remote send 50                          prints the number of entries
 *   vemro-remote send 51                          prints the current index
 *   vemro-remote send 16                          play/pause
 */
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

enum { RECORD_SIZE = 65544, TEXT_OFFSET = 8, TEXT_MAX = 65535 };

static int connect_player(void) {
  struct sockaddr_un address = {.sun_family = AF_UNIX};
  const char *runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime)
    snprintf(address.sun_path, sizeof address.sun_path, "%s/vemro/command.sock", runtime);
  else
    snprintf(address.sun_path, sizeof address.sun_path, "/tmp/vemro-%u/command.sock",
             (unsigned)getuid());
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0 || connect(fd, (struct sockaddr *)&address, sizeof address) != 0) {
    fprintf(stderr, "vemro-remote: no player runs (%s)\n", address.sun_path);
    exit(1);
  }
  return fd;
}

/* message, wParam, lParam: little-endian 32-bit integers */
static void send_frame(int fd, int32_t msg, int32_t wparam, int32_t lparam) {
  const int32_t fields[3] = {msg, wparam, lparam};
  unsigned char frame[12];
  for (int i = 0; i < 12; ++i) frame[i] = (unsigned char)((uint32_t)fields[i / 4] >> (8 * (i % 4)));
  if (write(fd, frame, sizeof frame) != (ssize_t)sizeof frame) {
    perror("vemro-remote: write");
    exit(1);
  }
}

static int list_command(int code, const char *text) {
  char name[64];
  snprintf(name, sizeof name, "/vemro-cmd-%u", (unsigned)getuid());
  int fd = connect_player(); /* first make sure someone will read the record */
  int shm = shm_open(name, O_RDWR, 0);
  unsigned char *record =
      shm < 0 ? MAP_FAILED : mmap(NULL, RECORD_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, shm, 0);
  if (record == MAP_FAILED) {
    perror("vemro-remote: command record");
    return 1;
  }
  size_t length = strlen(text);
  if (length > TEXT_MAX) length = TEXT_MAX;
  memset(record, 0, RECORD_SIZE);
  memcpy(record + TEXT_OFFSET, text, length);
  record[0] = (unsigned char)code;
  send_frame(fd, 2734, 1, 1); /* the record is ready; not answered */
  munmap(record, RECORD_SIZE);
  close(shm);
  close(fd);
  return 0;
}

static int remote_control(int wparam) {
  int fd = connect_player();
  send_frame(fd, 1807, wparam, 0);
  unsigned char answer[4];
  size_t got = 0;
  while (got < sizeof answer) {
    struct pollfd wait = {.fd = fd, .events = POLLIN};
    ssize_t n = poll(&wait, 1, 5000) == 1 ? read(fd, answer + got, sizeof answer - got) : -1;
    if (n <= 0) {
      fprintf(stderr, "vemro-remote: no answer\n");
      return 1;
    }
    got += (size_t)n;
  }
  uint32_t result = answer[0] | answer[1] << 8 | answer[2] << 16 | (uint32_t)answer[3] << 24;
  printf("%d\n", (int32_t)result);
  close(fd);
  return 0;
}

int main(int argc, char **argv) {
  if (argc == 4 && strcmp(argv[1], "list") == 0 &&
      (strcmp(argv[2], "2") == 0 || strcmp(argv[2], "22") == 0))
    return list_command(atoi(argv[2]), argv[3]);
  if (argc == 3 && strcmp(argv[1], "send") == 0) return remote_control(atoi(argv[2]));
  fprintf(stderr, "usage: vemro-remote list 2|22 TEXT | vemro-remote send WPARAM\n");
  return 2;
}
