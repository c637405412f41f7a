# The protocol fuzz run: tests/run_fuzz.sh builds the libFuzzer target with clang apart
# from this g++ build, seeds it with the known messages and runs 200000 inputs. It fails
# when clang is missing rather than passing without having run.
add_test(NAME fuzz_protocol
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run_fuzz.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/fuzz 200000)
set_tests_properties(fuzz_protocol PROPERTIES TIMEOUT 240 LABELS fuzz)
