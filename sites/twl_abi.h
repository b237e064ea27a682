/*
 * The site-library interface: what every "Lib\*.TWL" plug-in exports and what
 * the catalogue hands it. Only C types cross this boundary: zero-terminated
 * 8-bit text in buffers the caller owns, fixed-width integers and callbacks.
 * Entry points are looked up by the exact names below each time they are
 * needed, so a library may be unloaded and loaded again between two calls.
 * A library keeps nothing the catalogue must find again except in its own
 * files, and must not call back from another thread.
 *
 * A site library defines TWL_DECLARE_EXPORTS before including this header:
 * the entry points are then declared below, so one defined with a wrong
 * shape does not compile (define them inside extern "C" in C++).
 */
#ifndef KORVANDEL_TWL_ABI_H
#define KORVANDEL_TWL_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Site libraries export their entry points with this. */
#define TWL_EXPORT __attribute__((visibility("default")))

/* Interface versions: 0 is dropped silently, above TWL_INTERFACE_VERSION_MAX
 * is rejected; a negative version behaves as version 1. */
#define TWL_INTERFACE_VERSION_MAX 4

/* Descriptive texts and the search text: a 256-byte buffer, MaxLen 255. */
#define TWL_TEXT_BUFFER_SIZE 256
#define TWL_TEXT_MAXLEN 255
/* Statement, post data, next URL and the page procedure's next request:
 * 513-byte buffers, MaxLen 512. */
#define TWL_REQUEST_BUFFER_SIZE 513
#define TWL_REQUEST_MAXLEN 512
/* Each of the two login texts handed to SetSecurityDetails: 50 characters
 * and the terminator. */
#define TWL_LOGIN_BUFFER_SIZE 51

/* TSecurityType, one byte. */
#define TWL_SEC_NONE 0
#define TWL_SEC_PARAMS 1
#define TWL_SEC_BASIC 2
/* TSearchType, passed in a 32-bit slot of which only the low byte counts. */
#define TWL_SRCH_PARTNO 0
#define TWL_SRCH_DESCRIPTION 1

/* Results of the page procedure. */
#define TWL_PAGE_TERM_DONE 0  /* this search term is done on this site */
#define TWL_PAGE_NEXT_URL 1   /* NextRequest holds the address of a next page */
#define TWL_PAGE_NEXT_POST 2  /* NextRequest holds form data to post */
/* any other value: the site is done */

/* The catalogue's string-adding callback: appends Text to List unless an entry
 * equals it ignoring letter case. List is the pointer that came with the call. */
typedef void (*TAddStringProc)(const char *Text, void *List);

/* Offer callback of the page procedure: returns the row added, or NULL.
 * *Stop set non-zero asks the library to stop reading the page. */
typedef void *(*TAddProductProc)(void *Context, const char *ProductText, const char *StockText,
                                 const char *PriceText, const char *ProductURL, uint8_t *Stop);
/* Follow-up callback: queue URL for Row (or NULL) with PageState. */
typedef void (*TAddMoreInfoProc)(const char *URL, void *Row, int32_t PageState, void *Context);

/* Entry point shapes, by name. */

/* Required: */
#define TWL_GetSiteName "GetSiteName"
#define TWL_GetSiteLocation "GetSiteLocation"   /* country code of the country table */
#define TWL_GetSiteCurrency "GetSiteCurrency"   /* begins with a currency code */
#define TWL_GetSiteURL "GetSiteURL"
#define TWL_GetSiteHostName "GetSiteHostName"   /* also the "Host: " line */
#define TWL_GetSiteAdvert "GetSiteAdvert"       /* empty when the site has none */
typedef void (*TTWLGetTextProc)(char *Buffer, int32_t MaxLen);

#define TWL_GetSiteCategories "GetSiteCategories"
typedef void (*TTWLGetListProc)(TAddStringProc AddString, void *List);

#define TWL_InterfaceVersion "InterfaceVersion"
typedef int32_t (*TTWLInterfaceVersionProc)(void);

/* Required from version 2 (asked when the version is above 1), TTWLGetTextProc:
 * a language entry such as "EN English". */
#define TWL_GetSiteLanguage "GetSiteLanguage"

/* Optional: */
#define TWL_GetSiteFeatures "GetSiteFeatures" /* TTWLGetListProc */

#define TWL_IsSiteCertified "IsSiteCertified" /* asked above version 1 */
typedef int16_t (*TTWLIsSiteCertifiedProc)(void);

#define TWL_GetSiteSecurity "GetSiteSecurity" /* asked above version 2 */
typedef uint8_t (*TTWLGetSiteSecurityProc)(void);

/* 0: searching may go on, 1: searching stops. Any version. */
#define TWL_SetSearchStopped "SetSearchStopped"
typedef void (*TTWLSetSearchStoppedProc)(int32_t Stopped);

/* Before each request, above version 2. */
#define TWL_SetSearchType "SetSearchType"
typedef void (*TTWLSetSearchTypeProc)(int32_t SearchType);

/* Before each request, above version 2, for a site whose security is not
 * TWL_SEC_NONE: two TWL_LOGIN_BUFFER_SIZE buffers. */
#define TWL_SetSecurityDetails "SetSecurityDetails"
typedef void (*TTWLSetSecurityDetailsProc)(const char *UserName, const char *Password);

/* Before each request, above version 3. */
#define TWL_SetCustomerDetails "SetCustomerDetails"
typedef void (*TTWLSetCustomerDetailsProc)(const char *Details);

/* One request: Statement (MaxLen TWL_REQUEST_MAXLEN) gets the method, a blank
 * and the path ("GET /..." or "POST /..."); PostData holds the caller's form
 * body and may be rewritten; PageState may be read and changed; NextURL holds
 * the follow-up address (empty for a first page); SearchText the term.
 * 0: no request. A library without it makes no requests. */
#define TWL_GetSiteStatement "GetSiteStatement"
typedef int32_t (*TTWLGetSiteStatementProc)(char *Statement, int32_t MaxLen, char *PostData,
                                            int32_t *PageState, char *NextURL, char *SearchText);

/* The page procedure: Page is the whole raw reply; NextRequest a
 * TWL_REQUEST_BUFFER_SIZE buffer; Context goes back to every callback.
 * Returns one of TWL_PAGE_*. */
#define TWL_ProcessPage "ProcessPage"
typedef int16_t (*TProcessPageProc)(int32_t PageState, const char *Page, char *NextRequest,
                                    TAddProductProc AddProduct, TAddMoreInfoProc AddMoreInfo,
                                    void *Context);

#ifdef TWL_DECLARE_EXPORTS
/* What a site library exports; the optional entries may be left out. */
TWL_EXPORT void GetSiteName(char *Buffer, int32_t MaxLen);
TWL_EXPORT void GetSiteLocation(char *Buffer, int32_t MaxLen);
TWL_EXPORT void GetSiteCurrency(char *Buffer, int32_t MaxLen);
TWL_EXPORT void GetSiteURL(char *Buffer, int32_t MaxLen);
TWL_EXPORT void GetSiteHostName(char *Buffer, int32_t MaxLen);
TWL_EXPORT void GetSiteAdvert(char *Buffer, int32_t MaxLen);
TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List);
TWL_EXPORT int32_t InterfaceVersion(void);
TWL_EXPORT void GetSiteLanguage(char *Buffer, int32_t MaxLen);
TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List);
TWL_EXPORT int16_t IsSiteCertified(void);
TWL_EXPORT uint8_t GetSiteSecurity(void);
TWL_EXPORT void SetSearchStopped(int32_t Stopped);
TWL_EXPORT void SetSearchType(int32_t SearchType);
TWL_EXPORT void SetSecurityDetails(const char *UserName, const char *Password);
TWL_EXPORT void SetCustomerDetails(const char *Details);
TWL_EXPORT int32_t GetSiteStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t *PageState,
                                    char *NextURL, char *SearchText);
TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo, void *Context);
#endif

#ifdef __cplusplus
}
#endif

#endif /* KORVANDEL_TWL_ABI_H */
