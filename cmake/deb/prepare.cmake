# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the staged tree of the Debian
# package before it is packed: the manual page compressed, and the changelog
# and the lintian overrides added. gzip -n keeps the name and time out of
# the compressed files.
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})

function(gzip_into source target)
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${target} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip ${source}: ${rc}")
  endif()
endfunction()

file(GLOB pages ${root}/${CPACK_UPSTEST_MANDIR}/man*/*)
foreach(page ${pages})
  if(NOT page MATCHES "\\.gz$")
    gzip_into(${page} ${page}.gz)
    file(REMOVE ${page})
  endif()
endforeach()

gzip_into(${CPACK_UPSTEST_DEB_DIR}/changelog ${root}/${CPACK_UPSTEST_DOCDIR}/changelog.gz)

file(MAKE_DIRECTORY ${root}/share/lintian/overrides)
file(COPY_FILE ${CPACK_UPSTEST_DEB_DIR}/lintian-overrides ${root}/share/lintian/overrides/upstest)
