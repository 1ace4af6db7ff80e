# Warnings are errors on every build; sanitizers on the host build.
function(tav_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wcast-align -Wnull-dereference -Wformat=2)
endfunction()

if(TAV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Static runtime: no libstdc++/libgcc/winpthread DLL beside the exe that
  # could be missing or planted.
  add_compile_options(-fstack-protector-strong -D_FORTIFY_SOURCE=2)
  add_link_options(-static -static-libgcc -static-libstdc++
    -Wl,--dynamicbase -Wl,--nxcompat -fstack-protector-strong)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(-Wl,--high-entropy-va)
  endif()
endif()
