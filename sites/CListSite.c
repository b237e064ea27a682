/*
 * A test site library in plain C, built against twl_abi.h alone. One source,
 * several builds; the define a build gets says what it does with the list
 * callback:
 *   CLIST_GOOD   adds its categories and features to the lists handed to it
 *   CLIST_BOGUS  adds a category to a pointer that is no list at all
 *   CLIST_NULL   adds a category to a null list
 *   CLIST_STALE  adds its feature to the category list of the earlier call
 *   CLIST_LATE   keeps the category list and adds to it again when told that
 *                searching may go on, after its description is over
 * Each build names itself "C <Mode>" and serves host "<Mode>.clist.test".
 */
#define TWL_DECLARE_EXPORTS
#include "sites/twl_abi.h"

#include <string.h>

#if defined(CLIST_GOOD)
#define CLIST_NAME "Good"
#elif defined(CLIST_BOGUS)
#define CLIST_NAME "Bogus"
#elif defined(CLIST_NULL)
#define CLIST_NAME "Null"
#elif defined(CLIST_STALE)
#define CLIST_NAME "Stale"
#elif defined(CLIST_LATE)
#define CLIST_NAME "Late"
#else
#error "one of CLIST_GOOD, CLIST_BOGUS, CLIST_NULL, CLIST_STALE, CLIST_LATE must be defined"
#endif

static TAddStringProc KeptAddString;
static void *KeptList;

static void Put(char *Buffer, int32_t MaxLen, const char *Text) {
  size_t N = strlen(Text);
  if (MaxLen < 0)
    MaxLen = 0;
  if (N > (size_t)MaxLen)
    N = (size_t)MaxLen;
  memcpy(Buffer, Text, N);
  Buffer[N] = 0;
}

TWL_EXPORT void GetSiteName(char *Buffer, int32_t MaxLen) { Put(Buffer, MaxLen, "C " CLIST_NAME); }
TWL_EXPORT void GetSiteLocation(char *Buffer, int32_t MaxLen) { Put(Buffer, MaxLen, "UK"); }
TWL_EXPORT void GetSiteCurrency(char *Buffer, int32_t MaxLen) { Put(Buffer, MaxLen, "GBP British Pounds"); }
TWL_EXPORT void GetSiteURL(char *Buffer, int32_t MaxLen) { Put(Buffer, MaxLen, "http://" CLIST_NAME ".clist.test/"); }
TWL_EXPORT void GetSiteHostName(char *Buffer, int32_t MaxLen) { Put(Buffer, MaxLen, CLIST_NAME ".clist.test"); }
TWL_EXPORT void GetSiteAdvert(char *Buffer, int32_t MaxLen) { Put(Buffer, MaxLen, ""); }
TWL_EXPORT void GetSiteLanguage(char *Buffer, int32_t MaxLen) { Put(Buffer, MaxLen, "EN English"); }
TWL_EXPORT int32_t InterfaceVersion(void) { return 4; }

TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List) {
  KeptAddString = AddString;
  KeptList = List;
#if defined(CLIST_BOGUS)
  AddString("Crystals", (void *)1);
#elif defined(CLIST_NULL)
  AddString("Crystals", NULL);
#endif
  AddString("Semiconductors", List);
}

TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List) {
#if defined(CLIST_STALE)
  AddString("CLIST", KeptList);
#endif
  AddString("CLIST", List);
}

TWL_EXPORT void SetSearchStopped(int32_t Stopped) {
  (void)Stopped;
#if defined(CLIST_LATE)
  if (KeptAddString && KeptList)
    KeptAddString("Latecomers", KeptList);
#endif
}
