# Registers the cases of a gtest executable with CTest, run at build time
# like gtest_discover_tests: one test per case, each in a process of its own,
# except the suites that share a throw-away server (named "slapd/Suite" and
# "ds389/Suite", support/server_suite.h), which run whole in one process.
#   -D EXECUTABLE=... -D OUTPUT=file to write -D PROPERTIES="NAME VALUE..."
#   -D TIMEOUT=seconds for a case -D SUITE_TIMEOUT=seconds for a suite
execute_process(COMMAND "${EXECUTABLE}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed TIMEOUT 30)
if(failed)
  message(FATAL_ERROR "${EXECUTABLE} --gtest_list_tests: ${failed}\n${listing}")
endif()

set(script "")
string(REPLACE ";" " " properties "${PROPERTIES}")
function(register name filter timeout)
  string(APPEND script "add_test([==[${name}]==] [==[${EXECUTABLE}]==] [==[--gtest_filter=${filter}]==])\n"
         "set_tests_properties([==[${name}]==] PROPERTIES TIMEOUT ${timeout} ${properties}"
         " SKIP_REGULAR_EXPRESSION [==[\\[  SKIPPED \\]]==])\n")
  set(script "${script}" PARENT_SCOPE)
endfunction()

string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  string(REGEX REPLACE " *#.*" "" line "${line}")  # "# GetParam() = ..." comments
  if(line MATCHES "^([^ ].*)\\.$")
    set(suite "${CMAKE_MATCH_1}")
    set(shares_a_server FALSE)
    if(suite MATCHES "^(slapd|ds389)/")
      set(shares_a_server TRUE)
      register("${suite}" "${suite}.*" ${SUITE_TIMEOUT})
    endif()
  elseif(line MATCHES "^  (.+)$" AND NOT shares_a_server)
    register("${suite}.${CMAKE_MATCH_1}" "${suite}.${CMAKE_MATCH_1}" ${TIMEOUT})
  endif()
endforeach()
file(WRITE "${OUTPUT}" "${script}")
