# Authenticode signatures (SHA-256, osslsigncode) on every PE we ship or
# test and on the MSI. A maker signs with a certificate of its own; without
# one the build makes a throwaway test CA once per build tree and signs with
# that, so that every build, the demo and every test take the signed path.
#
#   KV_SIGN_CERT, KV_SIGN_KEY  the signer's certificate (PEM, followed by its
#                              intermediates) and private key (PEM)
#   KV_SIGN_PKCS12             or both in one PKCS#12 (.pfx) file
#   KV_SIGN_TIMESTAMP_URL      RFC 3161 timestamp server(s) for a release
#   KV_SIGN_CAFILE             the roots the signature tests trust
# The password of an encrypted key or PKCS#12 file is read at build time
# from the environment (KV_SIGN_PASSWORD), never from CMake.
#
# For the build files: kv_sign_target(target), KV_SIGN_COMMAND (append the
# file to sign), KV_SIGN_DEPENDS, and in a test-signed build KV_TEST_CA_CERT
# and KV_TEST_CA_SHA256 (also in ${KV_TEST_CA_DIR}/ca.sha256); kv_test_ca()
# makes further throwaway CAs.

set(KV_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM, with its intermediates)")
set(KV_SIGN_KEY "" CACHE FILEPATH "Private key of KV_SIGN_CERT (PEM)")
set(KV_SIGN_PKCS12 "" CACHE FILEPATH "Code-signing certificate and key in one PKCS#12 file")
set(KV_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server URL(s); a release needs one")

# A value given to CMake is written to CMakeCache.txt in clear.
if(DEFINED KV_SIGN_PASSWORD)
  unset(KV_SIGN_PASSWORD CACHE)
  message(FATAL_ERROR "KV_SIGN_PASSWORD must not be given to CMake: it would be stored in CMakeCache.txt. "
                      "Set it in the environment of the build (cmake --build) instead.")
endif()

foreach(tool osslsigncode openssl)
  string(TOUPPER ${tool} var)
  find_program(KV_${var} ${tool})
  if(NOT KV_${var})
    message(FATAL_ERROR "${tool} is missing: run scripts/setup.sh")
  endif()
endforeach()

set(KV_SIGNING_SCRIPTS ${CMAKE_CURRENT_LIST_DIR})

# Makes (once: an existing one is kept) a throwaway CA named <name> with a
# code-signing certificate it issued in <dir>, and sets <prefix>_CERT (the
# CA's certificate), <prefix>_SHA256 (its SHA-256, upper-case hex),
# <prefix>_SIGNER_CHAIN and <prefix>_SIGNER_KEY in the caller's scope.
function(kv_test_ca prefix dir name)
  execute_process(COMMAND bash ${KV_SIGNING_SCRIPTS}/make_test_ca.sh ${dir} ${name}
                  RESULT_VARIABLE failed ERROR_VARIABLE errors)
  if(failed)
    message(FATAL_ERROR "Could not make the test CA in ${dir}:\n${errors}")
  endif()
  file(STRINGS ${dir}/ca.sha256 sha256 LIMIT_COUNT 1)
  # A CA removed from the build tree is made anew at the next build.
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${dir}/ca.sha256 ${dir}/signer-chain.pem ${dir}/signer.key)
  set(${prefix}_CERT ${dir}/ca.pem PARENT_SCOPE)
  set(${prefix}_SHA256 ${sha256} PARENT_SCOPE)
  set(${prefix}_SIGNER_CHAIN ${dir}/signer-chain.pem PARENT_SCOPE)
  set(${prefix}_SIGNER_KEY ${dir}/signer.key PARENT_SCOPE)
endfunction()

# The options of osslsigncode sign for a signer: -certs/-key or -pkcs12.
function(kv_sign_options out)
  set(options -n ${PROJECT_NAME})
  foreach(url ${KV_SIGN_TIMESTAMP_URL})
    list(APPEND options -ts ${url})
  endforeach()
  set(${out} ${ARGN} ${options} PARENT_SCOPE)
endfunction()

if(KV_SIGN_PKCS12 OR KV_SIGN_CERT OR KV_SIGN_KEY)
  if(KV_SIGN_PKCS12 AND (KV_SIGN_CERT OR KV_SIGN_KEY))
    message(FATAL_ERROR "Give either KV_SIGN_PKCS12 or KV_SIGN_CERT and KV_SIGN_KEY, not both")
  elseif(NOT KV_SIGN_PKCS12 AND NOT (KV_SIGN_CERT AND KV_SIGN_KEY))
    message(FATAL_ERROR "KV_SIGN_CERT and KV_SIGN_KEY go together")
  endif()
  set(KV_SIGN_FILES ${KV_SIGN_PKCS12} ${KV_SIGN_CERT} ${KV_SIGN_KEY})
  foreach(file ${KV_SIGN_FILES})
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "Signing file ${file} does not exist")
    endif()
  endforeach()
  if(KV_SIGN_PKCS12)
    kv_sign_options(KV_SIGN_OPTIONS -pkcs12 ${KV_SIGN_PKCS12})
  else()
    kv_sign_options(KV_SIGN_OPTIONS -certs ${KV_SIGN_CERT} -key ${KV_SIGN_KEY})
  endif()
  set(KV_SIGN_CAFILE /etc/ssl/certs/ca-certificates.crt CACHE FILEPATH "Roots the signature tests trust")
  if(NOT KV_SIGN_TIMESTAMP_URL)
    message(NOTICE "Kavelton: signing without a timestamp (KV_SIGN_TIMESTAMP_URL): "
                   "the signatures stop verifying on Windows once the certificate expires")
  endif()
else()
  set(KV_TEST_CA_DIR ${CMAKE_BINARY_DIR}/signing/test-ca)
  kv_test_ca(KV_TEST_CA ${KV_TEST_CA_DIR} "Kavelton Throwaway Test CA")
  set(KV_SIGN_FILES ${KV_TEST_CA_SIGNER_CHAIN} ${KV_TEST_CA_SIGNER_KEY})
  kv_sign_options(KV_SIGN_OPTIONS -certs ${KV_TEST_CA_SIGNER_CHAIN} -key ${KV_TEST_CA_SIGNER_KEY})
  # The CA this tree signs with, over whatever the cache holds.
  set(KV_SIGN_CAFILE ${KV_TEST_CA_CERT})
  message(NOTICE "Kavelton: this build is TEST-SIGNED with a throwaway CA (${KV_TEST_CA_DIR}), "
                 "SHA-256 ${KV_TEST_CA_SHA256}: not for release")
endif()

set(KV_SIGN_COMMAND bash ${KV_SIGNING_SCRIPTS}/sign.sh ${KV_OSSLSIGNCODE} ${KV_SIGN_OPTIONS})
set(KV_SIGN_DEPENDS ${KV_SIGNING_SCRIPTS}/sign.sh ${KV_SIGN_FILES})

# Signs a PE target right after it is linked, so that whatever copies or
# packs its $<TARGET_FILE> gets the signed file. A new certificate relinks
# (and so signs again). CHAIN and KEY sign with another signer, such as one
# of kv_test_ca(). Every target signed by the build's own signer is listed
# in the global property KV_SIGNED_TARGETS, for the signature tests.
function(kv_sign_target target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "CHAIN;KEY" "")
  if(arg_CHAIN)
    kv_sign_options(options -certs ${arg_CHAIN} -key ${arg_KEY})
    set(command bash ${KV_SIGNING_SCRIPTS}/sign.sh ${KV_OSSLSIGNCODE} ${options})
    set(depends ${KV_SIGNING_SCRIPTS}/sign.sh ${arg_CHAIN} ${arg_KEY})
  else()
    set(command ${KV_SIGN_COMMAND})
    set(depends ${KV_SIGN_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY KV_SIGNED_TARGETS ${target})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${command} $<TARGET_FILE:${target}>
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${depends})
endfunction()
