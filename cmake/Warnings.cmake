# Warnings are errors everywhere in the project's own code.
add_compile_options(-Wall -Wextra -Werror)

if(LUMORA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
    # GCC 12 reports false "maybe uninitialized" warnings inside the standard library when
    # the sanitizers change its inlining (std::regex, std::function). (Clang, used for the
    # fuzz targets, has no such option.)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_compile_options(-Wno-maybe-uninitialized)
    endif()
endif()

if(LUMORA_SANITIZE_THREAD)
    if(LUMORA_SANITIZE)
        message(FATAL_ERROR "LUMORA_SANITIZE_THREAD and LUMORA_SANITIZE exclude each other")
    endif()
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_compile_options(-Wno-maybe-uninitialized -Wno-tsan)
    endif()
endif()
