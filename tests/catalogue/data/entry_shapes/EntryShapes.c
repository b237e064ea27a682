/*
 * Every entry point of a site library, defined against the declarations of
 * twl_abi.h. Built as it is, it compiles; each WRONG_* define swaps one entry
 * for a shape a library author might get wrong, which must not compile.
 */
#define TWL_DECLARE_EXPORTS
#include "sites/twl_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef WRONG_TEXT_BUFFER
TWL_EXPORT void GetSiteName(const char *Buffer, int32_t MaxLen) { (void)Buffer; (void)MaxLen; }
#else
TWL_EXPORT void GetSiteName(char *Buffer, int32_t MaxLen) { Buffer[0] = 0; (void)MaxLen; }
#endif
TWL_EXPORT void GetSiteLocation(char *Buffer, int32_t MaxLen) { Buffer[0] = 0; (void)MaxLen; }
TWL_EXPORT void GetSiteCurrency(char *Buffer, int32_t MaxLen) { Buffer[0] = 0; (void)MaxLen; }
TWL_EXPORT void GetSiteURL(char *Buffer, int32_t MaxLen) { Buffer[0] = 0; (void)MaxLen; }
TWL_EXPORT void GetSiteHostName(char *Buffer, int32_t MaxLen) { Buffer[0] = 0; (void)MaxLen; }
TWL_EXPORT void GetSiteAdvert(char *Buffer, int32_t MaxLen) { Buffer[0] = 0; (void)MaxLen; }
TWL_EXPORT void GetSiteLanguage(char *Buffer, int32_t MaxLen) { Buffer[0] = 0; (void)MaxLen; }
#ifdef WRONG_LIST_CALLBACK
TWL_EXPORT void GetSiteCategories(void (*AddString)(const char *Text), void *List) { (void)AddString; (void)List; }
#else
TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List) { AddString("Parts", List); }
#endif
TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List) { AddString("SHAPES", List); }
#ifdef WRONG_VERSION_RESULT
TWL_EXPORT int64_t InterfaceVersion(void) { return 4; }
#else
TWL_EXPORT int32_t InterfaceVersion(void) { return 4; }
#endif
#ifdef WRONG_CERTIFIED_RESULT
TWL_EXPORT int IsSiteCertified(void) { return 1; }
#else
TWL_EXPORT int16_t IsSiteCertified(void) { return 1; }
#endif
TWL_EXPORT uint8_t GetSiteSecurity(void) { return TWL_SEC_NONE; }
TWL_EXPORT void SetSearchStopped(int32_t Stopped) { (void)Stopped; }
#ifdef WRONG_SEARCH_TYPE
TWL_EXPORT void SetSearchType(uint8_t SearchType) { (void)SearchType; }
#else
TWL_EXPORT void SetSearchType(int32_t SearchType) { (void)SearchType; }
#endif
TWL_EXPORT void SetSecurityDetails(const char *UserName, const char *Password) { (void)UserName; (void)Password; }
TWL_EXPORT void SetCustomerDetails(const char *Details) { (void)Details; }
#ifdef WRONG_PAGE_STATE
TWL_EXPORT int32_t GetSiteStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t PageState, char *NextURL,
                                    char *SearchText) {
#else
TWL_EXPORT int32_t GetSiteStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t *PageState, char *NextURL,
                                    char *SearchText) {
#endif
  (void)Statement; (void)MaxLen; (void)PostData; (void)PageState; (void)NextURL; (void)SearchText;
  return 0;
}
#ifdef WRONG_ARGUMENT_COUNT
TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo) {
#else
TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo, void *Context) {
  (void)Context;
#endif
  (void)PageState; (void)Page; (void)NextRequest; (void)AddProduct; (void)AddMoreInfo;
  return TWL_PAGE_TERM_DONE;
}

#ifdef __cplusplus
}
#endif
