# kwo_embed(<target> <symbol> <file>): compiles the exact bytes of <file> into
# <target> as `extern const unsigned char <symbol>[]` and `<symbol>Size`, so the
# program carries its built-in documents and pictures without reading disk.
function(kwo_embed target symbol file)
  get_filename_component(abs ${file} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${abs} -DOUT=${out} -DSYMBOL=${symbol}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${abs} ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${file}")
  target_sources(${target} PRIVATE ${out})
endfunction()
