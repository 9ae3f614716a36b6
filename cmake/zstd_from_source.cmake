# zstd for the Windows build: Debian ships the library only for Linux, so it is built here
# from Debian's source package, which .ci/setup-windows unpacks into third_party/zstd-src.
set(QUORVANE_ZSTD_SOURCE ${PROJECT_SOURCE_DIR}/third_party/zstd-src/lib
    CACHE PATH "The lib directory of the zstd sources")
if(NOT EXISTS ${QUORVANE_ZSTD_SOURCE}/zstd.h)
  message(FATAL_ERROR "No zstd sources at ${QUORVANE_ZSTD_SOURCE}: run .ci/setup-windows")
endif()
enable_language(C)
file(GLOB zstd_sources ${QUORVANE_ZSTD_SOURCE}/common/*.c ${QUORVANE_ZSTD_SOURCE}/compress/*.c
     ${QUORVANE_ZSTD_SOURCE}/decompress/*.c)
add_library(zstd_static STATIC ${zstd_sources})
target_include_directories(zstd_static SYSTEM PUBLIC ${QUORVANE_ZSTD_SOURCE})
# The x86-64 assembly of the Huffman decoder is for ELF targets.
target_compile_definitions(zstd_static PRIVATE ZSTD_DISABLE_ASM)
add_library(zstd::libzstd_static ALIAS zstd_static)
