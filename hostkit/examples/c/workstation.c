/*
 * A workstation's day with Quorlane.dll, as a C console program: start the
 * library, take the lock of a database (and say who holds it when someone
 * else does), let it go again, read the site's VAT list, ask for the
 * application's update address, stop.
 *
 *   workstation [DATABASE [PRODUCT]]      (both default to SALES)
 *
 * Quorlane.dll (x64\Quorlane.dll for a 64-bit build) and its Quorlane.ini go
 * beside the program; the ini names the site server (see the README).
 * mingw-w64, in this folder of the host kit:
 *   i686-w64-mingw32-gcc -I../.. workstation.c ../../Quorlane.dll.a -o workstation.exe
 *   x86_64-w64-mingw32-gcc -I../.. workstation.c ../../../x64/hostkit/Quorlane.dll.a -o workstation.exe
 */
#include <stdio.h>
#include <string.h>

#include "quorlane.h"

/* 資料庫已被其他使用者鎖定, "the database is locked by another user": the
 * application's own messages are Big5, shown converted to GBK on a Chinese
 * (PRC) system by the library. */
static const char kLockedByAnother[] =
    "\xB8\xEA\xAE\xC6\xAE\x77\xA4\x77\xB3\x51\xA8\xE4\xA5\x4C\xA8\xCF\xA5\xCE\xAA\xCC\xC2\xEA\xA9\x77";

/* Every text result points into one buffer that the next call reuses: copy
 * it at once. Lock results are "Y; ; ; " or "N;user;computer;since". */
static void CopyResult(char* copy, size_t size, const char* result) {
  snprintf(copy, size, "%s", result ? result : "");
}

/* The index-th (0-based) of the ';'-separated fields of text. */
static void Field(const char* text, int index, char* field, size_t size) {
  while (index > 0 && (text = strchr(text, ';')) != NULL) {
    ++text;
    --index;
  }
  if (text == NULL) text = "";
  size_t length = strcspn(text, ";");
  if (length >= size) length = size - 1;
  memcpy(field, text, length);
  field[length] = '\0';
}

/* Nonzero when the lock was granted; says who holds it otherwise. */
static int LockDatabase(const char* database, const char* product) {
  char answer[512], user[128], computer[128], since[64];
  CopyResult(answer, sizeof answer, SetLockDBDotNet(database, product));
  if (answer[0] == 'Y') {
    printf("lock %s: granted\n", database);
    return 1;
  }
  Field(answer, 1, user, sizeof user);
  if (user[0] == '\0') {
    printf("lock %s: not granted, the site server did not answer\n", database);
    return 0;
  }
  Field(answer, 2, computer, sizeof computer);
  Field(answer, 3, since, sizeof since);
  /* Off Chinese (PRC) systems the message comes back as the very pointer
   * given: the argument must live until the result is copied. */
  char message[256];
  CopyResult(message, sizeof message, GetConvertedMessageDotNet(kLockedByAnother));
  printf("lock %s: refused\n  %s: %s on %s since %s\n", database, message, user, computer, since);
  return 0;
}

static void UnlockDatabase(const char* database) {
  char answer[512];
  CopyResult(answer, sizeof answer, SetUnLockDBDotNet(database));
  if (answer[0] == 'Y') {
    printf("unlock %s: done\n", database);
  } else {
    printf("unlock %s: not released (%s)\n", database, answer);
  }
}

/* The list is one text, its rates separated by CR LF. */
static void ShowVatList(void) {
  char list[4096];
  CopyResult(list, sizeof list, GetVATList());
  int rates = list[0] ? 1 : 0;
  for (const char* c = list; *c; ++c) rates += *c == '\n';
  printf("VAT list: %d rates\n", rates);
  for (char* rate = list; *rate;) {
    char* end = strstr(rate, "\r\n");
    if (end) *end = '\0';
    printf("  %s\n", rate);
    if (!end) break;
    rate = end + 2;
  }
}

/* "1,," + address + "[END]", "0," + why the server could not be reached, or
 * "" when the exchange failed. Blocks (up to 5 s + 10 s) without pumping
 * messages: a GUI host calls it from a worker thread, or accepts the wait. */
static void ShowUpdateAddress(const char* application) {
  char answer[16600];
  CopyResult(answer, sizeof answer, GetAppSelfUpdURL(application));
  size_t length = strlen(answer);
  printf("update address of %s: ", application);
  if (length >= 8 && strncmp(answer, "1,,", 3) == 0 && strcmp(answer + length - 5, "[END]") == 0) {
    answer[length - 5] = '\0';
    if (answer[3] == '\0') {
      printf("none (the update server does not know it)\n");
    } else {
      printf("%s\n", answer + 3);
    }
  } else if (strncmp(answer, "0,", 2) == 0) {
    printf("unknown, %s\n", answer + 2);
  } else {
    printf("unknown, the look-up failed\n");
  }
}

int main(int argc, char** argv) {
  const char* database = argc > 1 ? argv[1] : "SALES";
  const char* product = argc > 2 ? argv[2] : database;
  printf("Quorlane from a %d-bit host\n", (int)(sizeof(void*) * 8));

  /* A console program has no main window; a GUI one passes its main
   * window. Every call below runs on this thread. */
  SetInitial(NULL);
  if (LockDatabase(database, product)) UnlockDatabase(database);
  ShowVatList();
  ShowUpdateAddress(product);
  FreeInitial();
  return 0;
}
