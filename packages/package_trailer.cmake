# The package information trailer: a block of NUL-terminated texts and its byte count
# (little-endian 32-bit) appended to a package after linking, outside every section, so
# the dynamic loader ignores it. Its "SIG=" entry is the Base64 of the SHA-512 digest of
# the package's bytes before the trailer: an integrity digest, different in every file.

set(TARN_PACKAGE_TRAILER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/append_package_trailer.sh)

# tarn_append_package_trailer(<target> <package file name>): after each link of <target>,
# appends the trailer naming it "FILENAME=<package file name>".
function(tarn_append_package_trailer target package_file_name)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND sh ${TARN_PACKAGE_TRAILER_SCRIPT} $<TARGET_FILE:${target}> ${package_file_name}
    COMMENT "Appending the information trailer to ${package_file_name}"
    VERBATIM)
endfunction()
