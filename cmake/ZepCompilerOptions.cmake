# Warnings and sanitizers shared by every target of the project.
add_library(zep_options INTERFACE)
target_compile_options(zep_options INTERFACE -Wall -Wextra -Wpedantic)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(zep_options INTERFACE -Wshadow=local)
endif()
if(ZEP_WERROR)
    target_compile_options(zep_options INTERFACE -Werror)
endif()

if(ZEP_SANITIZE)
    set(ZEP_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_compile_options(${ZEP_SANITIZER_FLAGS})
    add_link_options(${ZEP_SANITIZER_FLAGS})
endif()

# Every executable and library links this to get the project's warning set.
function(zep_apply_options target)
    target_link_libraries(${target} PRIVATE zep_options)
endfunction()
