# Authenticode signatures of the files a release installs, made with
# osslsigncode and checked (`osslsigncode verify`) before they replace the
# unsigned files. One flow for the release and for its tests:
#
#  - included by the build: the publisher's signing material (cache
#    variables below) and an install rule, run after the targets' own (and
#    so after `--strip`, which would break a signature made before it),
#    that signs the installed files; CPack's staging install runs it too;
#  - run as a script: cmake -DFILES=<file;...> -DCERT=<pem> -DKEY=<pem>
#    | -DPKCS12=<p12> [-DPASSWORD_ENV=<variable>] [-DCHAIN=<pem>]
#    [-DCA_FILE=<pem>] [-DCRL_FILE=<pem>] [-DTIMESTAMP_URL=<url>]
#    [-DDESCRIPTION=<text>] -P Signing.cmake
#
# A password (of the key or of the PKCS#12 file) is read from the
# environment variable PASSWORD_ENV names when the signing runs, never from
# the cache, and handed to osslsigncode in a file only this user can read,
# never on its command line.

# Signs each of files in place and checks what it made; stops with an
# error, leaving the file unsigned, when either fails.
function(tav_sign_files)
  set(one CERT KEY PKCS12 PASSWORD_ENV CHAIN CA_FILE CRL_FILE TIMESTAMP_URL DESCRIPTION)
  cmake_parse_arguments(S "" "${one}" "FILES" ${ARGN})
  find_program(TAV_OSSLSIGNCODE_TOOL osslsigncode)
  if(NOT TAV_OSSLSIGNCODE_TOOL)
    message(FATAL_ERROR "Signing needs osslsigncode (Debian: apt-get install osslsigncode)")
  endif()
  if(S_PKCS12)
    set(material -pkcs12 "${S_PKCS12}")
  elseif(S_CERT AND S_KEY)
    set(material -certs "${S_CERT}" -key "${S_KEY}")
  else()
    message(FATAL_ERROR "Signing needs a certificate and its key, or a PKCS#12 file")
  endif()
  if(S_CHAIN)
    list(APPEND material -ac "${S_CHAIN}")
  endif()
  if(NOT S_DESCRIPTION)
    set(S_DESCRIPTION "TAV Update Manager")
  endif()
  set(stamp "")
  if(S_TIMESTAMP_URL)
    set(stamp -ts "${S_TIMESTAMP_URL}")
  endif()
  set(check "")
  if(S_CA_FILE)
    list(APPEND check -CAfile "${S_CA_FILE}")
  endif()
  if(S_CRL_FILE)
    list(APPEND check -CRLfile "${S_CRL_FILE}")
  endif()

  # A private folder for the password file and the signed copies.
  string(RANDOM LENGTH 12 token)
  set(work "${CMAKE_CURRENT_BINARY_DIR}/.tav-signing-${token}")
  if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
    set(work "$ENV{TMPDIR}/tav-signing-${token}")
  elseif(IS_DIRECTORY /tmp)
    set(work "/tmp/tav-signing-${token}")
  endif()
  file(MAKE_DIRECTORY "${work}")
  file(CHMOD "${work}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set(password "")
  if(S_PASSWORD_ENV AND NOT "$ENV{${S_PASSWORD_ENV}}" STREQUAL "")
    file(WRITE "${work}/password" "$ENV{${S_PASSWORD_ENV}}")
    set(password -readpass "${work}/password")
  endif()

  set(failure "")
  foreach(path IN LISTS S_FILES)
    get_filename_component(name "${path}" NAME)
    set(signed "${work}/${name}")
    execute_process(
      COMMAND ${TAV_OSSLSIGNCODE_TOOL} sign ${material} ${password} -h sha256 -n "${S_DESCRIPTION}"
              ${stamp} -in "${path}" -out "${signed}"
      RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
      set(failure "osslsigncode could not sign ${path}:\n${out}")
      break()
    endif()
    execute_process(COMMAND ${TAV_OSSLSIGNCODE_TOOL} verify ${check} -in "${signed}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
      set(failure "The signature made for ${path} does not verify:\n${out}")
      break()
    endif()
    file(COPY_FILE "${signed}" "${path}")
    message(STATUS "Signed and verified: ${path}")
  endforeach()
  file(REMOVE_RECURSE "${work}")
  if(failure)
    message(FATAL_ERROR "${failure}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  tav_sign_files(FILES ${FILES} CERT "${CERT}" KEY "${KEY}" PKCS12 "${PKCS12}"
                 PASSWORD_ENV "${PASSWORD_ENV}" CHAIN "${CHAIN}" CA_FILE "${CA_FILE}"
                 CRL_FILE "${CRL_FILE}" TIMESTAMP_URL "${TIMESTAMP_URL}"
                 DESCRIPTION "${DESCRIPTION}")
  return()
endif()
if(CMAKE_SCRIPT_MODE_FILE OR TAV_SIGNING_FUNCTION_ONLY)
  # Included by another script or by the install rule (which CPack runs
  # outside script mode): the function only.
  return()
endif()

set(TAV_SIGN_CERT "" CACHE FILEPATH
  "Release: the publisher's code-signing certificate (PEM or DER)")
set(TAV_SIGN_KEY "" CACHE FILEPATH "Release: the private key of TAV_SIGN_CERT (PEM or DER)")
set(TAV_SIGN_PKCS12 "" CACHE FILEPATH
  "Release: instead of TAV_SIGN_CERT and TAV_SIGN_KEY, both in one PKCS#12 file")
set(TAV_SIGN_PASSWORD_ENV "TAV_SIGN_PASSWORD" CACHE STRING
  "The environment variable that holds the password of the key or PKCS#12 file when installing")
set(TAV_SIGN_CHAIN "" CACHE FILEPATH
  "Release: intermediate certificates to embed (PEM), optional")
set(TAV_SIGN_CA_FILE "" CACHE FILEPATH
  "Roots the check of the made signature trusts (PEM); empty: osslsigncode's default bundle")
set(TAV_SIGN_CRL_FILE "" CACHE FILEPATH
  "Revocation lists for the check (PEM); empty: fetched from the certificates' distribution points")
set(TAV_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping service, optional")

# Adds an install rule that signs the installed files (names relative to
# the install prefix). Must come after the rules that install them.
function(tav_sign_on_install)
  set(files "")
  foreach(name IN LISTS ARGN)
    string(APPEND files "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${name};")
  endforeach()
  install(CODE "
    set(TAV_SIGNING_FUNCTION_ONLY ON)
    include(\"${CMAKE_SOURCE_DIR}/cmake/Signing.cmake\")
    tav_sign_files(FILES \"${files}\" CERT \"${TAV_SIGN_CERT}\" KEY \"${TAV_SIGN_KEY}\"
                   PKCS12 \"${TAV_SIGN_PKCS12}\" PASSWORD_ENV \"${TAV_SIGN_PASSWORD_ENV}\"
                   CHAIN \"${TAV_SIGN_CHAIN}\" CA_FILE \"${TAV_SIGN_CA_FILE}\"
                   CRL_FILE \"${TAV_SIGN_CRL_FILE}\" TIMESTAMP_URL \"${TAV_SIGN_TIMESTAMP_URL}\")")
endfunction()

# A release is signed: without the material it cannot be installed or
# packaged, and that is said when it is configured.
if(NOT TAV_IS_DEVELOPMENT_BUILD)
  if(NOT TAV_SIGN_PKCS12 AND NOT (TAV_SIGN_CERT AND TAV_SIGN_KEY))
    message(FATAL_ERROR "A release is signed: give TAV_SIGN_CERT and TAV_SIGN_KEY, or "
                        "TAV_SIGN_PKCS12 (a password in the environment variable that "
                        "TAV_SIGN_PASSWORD_ENV names)")
  endif()
  foreach(var TAV_SIGN_CERT TAV_SIGN_KEY TAV_SIGN_PKCS12 TAV_SIGN_CHAIN TAV_SIGN_CA_FILE
              TAV_SIGN_CRL_FILE)
    if(${var} AND NOT EXISTS "${${var}}")
      message(FATAL_ERROR "${var}: no file ${${var}}")
    endif()
  endforeach()
  find_program(TAV_OSSLSIGNCODE_TOOL osslsigncode REQUIRED)
endif()
