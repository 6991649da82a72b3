/*
 * Quorlane.dll: declarations of every export, for C and C++ hosts.
 *
 * Two builds export the same names: Quorlane.dll for 32-bit hosts and
 * x64/Quorlane.dll for 64-bit hosts (a process loads only DLLs of its width).
 *
 * Conventions shared by all exports:
 * - WINAPI: stdcall in the 32-bit DLL, every argument 32 bits wide; in the
 *   64-bit DLL the one x64 convention, pointers and handles 64 bits wide;
 * - texts are zero-terminated ANSI strings in the system code page; a null
 *   text argument counts as an empty text;
 * - a text result is never null (GetConvertedMessageDotNet excepted, see
 *   there). It points into one library-wide buffer and stays valid only until
 *   the next text-returning call: copy it if you need it longer, and never
 *   free or write through it;
 * - integer results are exactly 1 (success) or 0 (failure);
 * - no call raises an exception or fault into the host: each has one failure
 *   result (the empty text, 0, or nothing);
 * - call SetInitial first and FreeInitial last, all on the thread that called
 *   SetInitial (normally the UI thread): waiting calls pump its messages.
 *
 * Link with the import library, or load the DLL at run time and use the
 * QL_PFN_* pointer types with GetProcAddress.
 */
#ifndef QUORLANE_H
#define QUORLANE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef QUORLANE_API
#define QUORLANE_API __declspec(dllimport)
#endif

/* Start-up and shut-down; calls are counted and must balance. */
QUORLANE_API void WINAPI SetInitial(HWND hostMainWindow);
QUORLANE_API void WINAPI FreeInitial(void);

/* Database locks. Results: "Y; ; ; " or "N;user;computer;start" and the like. */
QUORLANE_API const char* WINAPI SetLockDBDotNet(const char* lockKey, const char* productCode);
QUORLANE_API const char* WINAPI SetUnLockDBDotNet(const char* lockKey);
QUORLANE_API const char* WINAPI SetForceUnLockDBDotNet(const char* lockKey);
QUORLANE_API const char* WINAPI CheckDBLockedDotNet(const char* lockKey);

/* Files and services on the site server's machine. */
QUORLANE_API const char* WINAPI DoDeleteFileDotNet(const char* fileName);
QUORLANE_API const char* WINAPI DoCopyFileDotNet(const char* sourceFileName, const char* targetFileName);
QUORLANE_API int WINAPI StartServerService(const char* serverHost, const char* serviceName);
QUORLANE_API int WINAPI StopServerService(const char* serverHost, const char* serviceName);
QUORLANE_API int WINAPI ServerServiceStarted(const char* serverHost, const char* serviceName);
QUORLANE_API const char* WINAPI GetFileSizeInfo(const char* firstField, const char* secondField);

/* VAT list and taxation key. */
QUORLANE_API const char* WINAPI GetVATList(void);
QUORLANE_API void WINAPI SaveVATList(const char* listText);
QUORLANE_API const char* WINAPI GetTaxationAPIKey(void);

/*
 * Self-update address of an application (exported at ordinal 14), asked of
 * the vendor's update server (port 9568) over a connection of its own; needs
 * no SetInitial. Results: "1,," + the server's reply line + "[END]" (the
 * reply is empty for an unknown application, or when the server stays
 * silent for 10 s); "0," + a "cannot connect" message when the server cannot
 * be reached (see GetConvertedMessageDotNet for its language); the empty text
 * when the exchange fails after connecting. Blocks the calling thread for up
 * to 5 s to connect plus 10 s per silent wait, and dispatches no window
 * messages meanwhile.
 */
QUORLANE_API const char* WINAPI GetAppSelfUpdURL(const char* applicationId);

/*
 * A Big5 (Traditional Chinese) message for the user: on a system whose
 * default language is Chinese (PRC, 2052) the message converted to GBK
 * (Simplified), in the shared result buffer; the empty text, never null,
 * before SetInitial or when the conversion fails. On every other system it
 * returns the argument pointer itself, unchanged, and null for null: keep
 * the argument alive until you have copied the result, and check for null.
 */
QUORLANE_API const char* WINAPI GetConvertedMessageDotNet(const char* message);

/* Kept for compatibility: accept their arguments and do nothing. */
QUORLANE_API void WINAPI GetZConvertList(int reserved);
QUORLANE_API void WINAPI SyncZConvertList(int reserved1, int reserved2);

typedef void(WINAPI* QL_PFN_SetInitial)(HWND);
typedef void(WINAPI* QL_PFN_NoArgs)(void);
typedef const char*(WINAPI* QL_PFN_TextOfNone)(void);
typedef const char*(WINAPI* QL_PFN_TextOfText)(const char*);
typedef const char*(WINAPI* QL_PFN_TextOfTwoTexts)(const char*, const char*);
typedef int(WINAPI* QL_PFN_IntOfTwoTexts)(const char*, const char*);
typedef void(WINAPI* QL_PFN_VoidOfText)(const char*);
typedef void(WINAPI* QL_PFN_VoidOfInt)(int);
typedef void(WINAPI* QL_PFN_VoidOfTwoInts)(int, int);

#ifdef __cplusplus
}
#endif

#endif /* QUORLANE_H */
