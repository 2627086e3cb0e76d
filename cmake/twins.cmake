# Kernel twins chosen when the library loads (x86_64 with ZYLCV_AVX2).
#
# Every `src/<family>/<family>_avx2.cc` is compiled with -mavx2 -mno-fma. The exported functions
# of such a family (its files that call `kernels::`) are compiled twice: once calling the SSE2
# entries and once calling the AVX2 ones. cmake/twin_api.cmake joins each set into one object,
# renames its exported functions to NAME_sse2 and NAME_avx2, and writes dispatch.cc, where each
# NAME is a GNU indirect function whose resolver (core/cpu.h) picks one of the two.
# Without ZYLCV_AVX2 the AVX2 files are left out and nothing of this happens.

if(ZYLCV_SIMD AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZYLCV_AVX2_DEFAULT ON)
else()
  set(ZYLCV_AVX2_DEFAULT OFF)
endif()
option(ZYLCV_AVX2 "Build the AVX2 twins and choose them at load time on CPUs that have AVX2 (x86_64)"
  ${ZYLCV_AVX2_DEFAULT})
if(ZYLCV_AVX2 AND NOT (ZYLCV_SIMD AND CMAKE_SIZEOF_VOID_P EQUAL 8))
  message(FATAL_ERROR "ZYLCV_AVX2 needs an x86_64 build with ZYLCV_SIMD")
endif()

set(ZYLCV_AVX2_KERNELS ${ZYLCV_SOURCES})
list(FILTER ZYLCV_AVX2_KERNELS INCLUDE REGEX "_avx2\\.cc$")
list(FILTER ZYLCV_SOURCES EXCLUDE REGEX "_avx2\\.cc$")
set(ZYLCV_TWIN_API_INPUTS)

if(ZYLCV_AVX2)
  set_source_files_properties(${ZYLCV_AVX2_KERNELS} PROPERTIES COMPILE_OPTIONS "-mavx2;-mno-fma")
  list(APPEND ZYLCV_SOURCES ${ZYLCV_AVX2_KERNELS})

  # The exported functions of the families with an AVX2 twin: their files that call kernels.
  set(ZYLCV_API_TWICE)
  foreach(kernel ${ZYLCV_AVX2_KERNELS})
    get_filename_component(dir ${kernel} DIRECTORY)
    file(GLOB family_files ${dir}/*.cc)
    foreach(f ${family_files})
      if(NOT f MATCHES "_(portable|sse2|avx2)\\.cc$")
        file(STRINGS ${f} calls REGEX "kernels::")
        if(calls)
          list(APPEND ZYLCV_API_TWICE ${f})
        endif()
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES ZYLCV_API_TWICE)
  list(REMOVE_ITEM ZYLCV_SOURCES ${ZYLCV_API_TWICE})

  foreach(twin sse2 avx2)
    add_library(zylcv_api_${twin} OBJECT ${ZYLCV_API_TWICE})
    set_target_properties(zylcv_api_${twin} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endforeach()
  target_compile_definitions(zylcv_api_avx2 PRIVATE ZYLCV_KERNELS_AVX2=1)

  set(out ${CMAKE_CURRENT_BINARY_DIR}/twin_api)
  add_custom_command(
    OUTPUT ${out}/api_sse2.o ${out}/api_avx2.o ${out}/dispatch.cc
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DOBJCOPY=${CMAKE_OBJCOPY} -DLD=${CMAKE_LINKER}
      -DMAP=${CMAKE_CURRENT_SOURCE_DIR}/src/zylcv.map -DOUT=${out}
      "-DSSE2_OBJECTS=$<JOIN:$<TARGET_OBJECTS:zylcv_api_sse2>,|>"
      "-DAVX2_OBJECTS=$<JOIN:$<TARGET_OBJECTS:zylcv_api_avx2>,|>"
      -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/twin_api.cmake
    DEPENDS $<TARGET_OBJECTS:zylcv_api_sse2> $<TARGET_OBJECTS:zylcv_api_avx2>
      ${CMAKE_CURRENT_SOURCE_DIR}/cmake/twin_api.cmake ${CMAKE_CURRENT_SOURCE_DIR}/src/zylcv.map
    COMMENT "Pairing the SSE2 and AVX2 copies of the exported functions"
    VERBATIM)
  set_source_files_properties(${out}/api_sse2.o ${out}/api_avx2.o PROPERTIES
    EXTERNAL_OBJECT TRUE GENERATED TRUE)
  # The resolvers run inside the dynamic loader, before any sanitizer runtime is ready.
  set_source_files_properties(${out}/dispatch.cc PROPERTIES
    GENERATED TRUE COMPILE_OPTIONS "-fno-sanitize=all")
  list(APPEND ZYLCV_SOURCES ${out}/dispatch.cc)
  set(ZYLCV_TWIN_API_INPUTS ${out}/api_sse2.o ${out}/api_avx2.o)
endif()
