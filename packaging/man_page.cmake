# Turns one scdoc source into a manual page and its gzip form:
#   cmake -DSCDOC=... -DGZIP=... -DEPOCH=... -DSOURCE=x.1.scd -DOUTPUT=x.1 -P man_page.cmake
# The page's date is the release's (SOURCE_DATE_EPOCH), so a rebuild gives
# the same bytes.
set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "scdoc failed on ${SOURCE}")
endif()
execute_process(COMMAND ${GZIP} -9n -c ${OUTPUT} OUTPUT_FILE ${OUTPUT}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${OUTPUT}")
endif()
