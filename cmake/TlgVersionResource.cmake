# tlg_add_version_resource(TARGET FILE_NAME FILE_TYPE DESCRIPTION): the
# version resource that Windows shows in a file's properties, from the
# project's one version number.
function(tlg_add_version_resource target file_name file_type description)
  set(TLG_RC_FILE_NAME ${file_name})
  set(TLG_RC_FILE_TYPE ${file_type})
  set(TLG_RC_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
