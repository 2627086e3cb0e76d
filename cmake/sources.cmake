# Library sources: src/zycv<family>.cc for the exported functions of each family and
# src/kernels/<family>_{portable,sse2}.cc for their kernel twins.
file(GLOB ZYLCV_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/src/kernels/*.cc)
