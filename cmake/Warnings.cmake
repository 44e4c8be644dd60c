# Warnings for all of our own code; third-party headers come in as system
# includes through their imported targets.
add_compile_options(-Wall -Wextra -Wpedantic -Wno-unused-parameter)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wshadow=local -Wno-psabi)
else()
    add_compile_options(-Wshadow)
endif()
