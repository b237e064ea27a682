# Compiles one source for syntax only and checks the outcome:
#   cmake -DCOMPILER=... -DLANGUAGE=c|c++ -DSOURCE=... -DINCLUDE=... [-DDEFINE=X]
#         -DEXPECT=ok|error [-DENTRY=name] -P CompileCheck.cmake
# EXPECT error passes only when the compiler refuses the source and names ENTRY
# in its diagnostics, so a failure for some other reason is not taken for one.
if(LANGUAGE STREQUAL "c")
  set(flags -x c -std=c99 -pedantic-errors)
else()
  set(flags -x c++ -std=c++20)
endif()
if(DEFINE)
  list(APPEND flags -D${DEFINE})
endif()
execute_process(
  COMMAND ${COMPILER} ${flags} -fsyntax-only -I${INCLUDE} ${SOURCE}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
if(EXPECT STREQUAL "ok")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "did not compile:\n${out}")
  endif()
else()
  if(result EQUAL 0)
    message(FATAL_ERROR "compiled though ${ENTRY} has the wrong shape")
  endif()
  if(NOT out MATCHES "error" OR NOT out MATCHES "${ENTRY}")
    message(FATAL_ERROR "refused, but not for ${ENTRY}:\n${out}")
  endif()
endif()
