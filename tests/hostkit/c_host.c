/* A plain C host: compiled as C against quorlane.h and linked with the import
 * library, so a mismatch between the header, the import library and the DLL's
 * export table fails to build or to run. */
#include <stdio.h>
#include <string.h>

#include "quorlane.h"

/* Each declaration must match its pointer type exactly. */
static const QL_PFN_SetInitial kSetInitial = SetInitial;
static const QL_PFN_NoArgs kFreeInitial = FreeInitial;
static const QL_PFN_TextOfTwoTexts kTwoTextExports[] = {SetLockDBDotNet, DoCopyFileDotNet, GetFileSizeInfo};
static const QL_PFN_TextOfText kOneTextExports[] = {SetUnLockDBDotNet, SetForceUnLockDBDotNet, CheckDBLockedDotNet,
                                                    DoDeleteFileDotNet, GetAppSelfUpdURL, GetConvertedMessageDotNet};
static const QL_PFN_TextOfNone kNoArgTextExports[] = {GetVATList, GetTaxationAPIKey};
static const QL_PFN_IntOfTwoTexts kFlagExports[] = {StartServerService, StopServerService, ServerServiceStarted};
static const QL_PFN_VoidOfText kSave = SaveVATList;
static const QL_PFN_VoidOfInt kReserved1 = GetZConvertList;
static const QL_PFN_VoidOfTwoInts kReserved2 = SyncZConvertList;

int main(void) {
  kSetInitial(NULL);
  for (size_t i = 0; i < sizeof kNoArgTextExports / sizeof kNoArgTextExports[0]; ++i) {
    if (kNoArgTextExports[i]() == NULL) {
      fputs("null text result\n", stderr);
      return 1;
    }
  }
  kReserved1(7);
  kReserved2(7, 8);
  kFreeInitial();
  (void)kTwoTextExports;
  (void)kOneTextExports;
  (void)kFlagExports;
  (void)kSave;
  puts("c host ok");
  return 0;
}
