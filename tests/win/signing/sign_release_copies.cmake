# The release's signing, run on copies of the built program and style
# library: copied, stripped as `cmake --install --strip` strips them, then
# signed and checked by cmake/Signing.cmake exactly as the install rule
# does; what it left is then checked once more against the test root.
#   cmake -DEXE=... -DDLL=... -DSTRIP=... -DOUT=<folder> -DCA_FILE=... -DCRL_FILE=...
#         (-DCERT=... -DKEY=... | -DPKCS12=... -DPASSWORD_ENV=...) -P sign_release_copies.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/Signing.cmake)

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
set(files "")
foreach(source IN ITEMS "${EXE}" "${DLL}")
  get_filename_component(name "${source}" NAME)
  file(COPY_FILE "${source}" "${OUT}/${name}")
  execute_process(COMMAND ${STRIP} "${OUT}/${name}" COMMAND_ERROR_IS_FATAL ANY)
  list(APPEND files "${OUT}/${name}")
endforeach()

tav_sign_files(FILES ${files} CERT "${CERT}" KEY "${KEY}" PKCS12 "${PKCS12}"
               PASSWORD_ENV "${PASSWORD_ENV}" CA_FILE "${CA_FILE}" CRL_FILE "${CRL_FILE}")

# The files left in place, not the flow's own copies, carry the signature.
foreach(path IN LISTS files)
  execute_process(COMMAND osslsigncode verify -CAfile "${CA_FILE}" -CRLfile "${CRL_FILE}"
                          -in "${path}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0 OR NOT out MATCHES "Subject: /CN=TAV Test Publisher/O=TAV Test")
    message(FATAL_ERROR "${path} is not signed by the test publisher after the flow:\n${out}")
  endif()
endforeach()
message(STATUS "The stripped copies are signed by the test publisher and verify")
