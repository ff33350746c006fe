# Warnings are errors everywhere in the project's own code.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wno-unused-parameter)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false positives for std::vector/std::string inlining at -O2.
  add_compile_options(-Wno-maybe-uninitialized -Wno-stringop-overflow -Wno-array-bounds -Wno-restrict)
endif()
