# End to end: the command-line sorter, as built or as packaged, sorts the
# bundled samples into Cyrillic folders (the registry's response as an archive
# of archives among them), names the damaged archive and the unsupported
# extract, ends with status 1 and writes the report.
#   cmake -DCLI=<vorlanex-cli> -DSAMPLES=<folder> -DWORK=<scratch folder>
#         [-DEMULATOR=<runner>] [-DPACKAGE=<zip>] -P sort_samples.cmake
# With PACKAGE, the zip is unpacked first and its own program and samples are used.

cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

if(PACKAGE)
  # Unpacked under a UTF-8 locale, whatever this one is: the names are Cyrillic.
  file(MAKE_DIRECTORY "${WORK}/unpacked")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 ${CMAKE_COMMAND} -E tar xf "${PACKAGE}"
                  WORKING_DIRECTORY "${WORK}/unpacked" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Could not unpack ${PACKAGE}")
  endif()
  file(GLOB top LIST_DIRECTORIES true "${WORK}/unpacked/*")
  list(LENGTH top count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "The package should hold one folder, it holds: ${top}")
  endif()
  foreach(part vorlanex-cli.exe ZipEngine.dll README.md samples/README.md)
    if(NOT EXISTS "${top}/${part}")
      message(FATAL_ERROR "The package lacks ${part}")
    endif()
  endforeach()
  set(CLI "${top}/vorlanex-cli.exe")
  set(SAMPLES "${top}/samples")
endif()

# A Windows program gets Windows paths: Wine shows the Linux root as drive Z:.
function(native_path out path)
  if(CLI MATCHES "\\.exe$")
    string(REPLACE "/" "\\" path "Z:${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

set(output "${WORK}/Разложено")
native_path(samples_arg "${SAMPLES}")
native_path(output_arg "${output}")
native_path(report_arg "${WORK}/отчёт.csv")
execute_process(
  COMMAND ${EMULATOR} "${CLI}" --input "${samples_arg}" --output "${output_arg}" --report "${report_arg}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)

set(failures "")
if(NOT status EQUAL 1)
  string(APPEND failures "exit status ${status}, not 1 (the damaged sample)\n")
endif()
foreach(line "Обработано файлов: 19" "Из них файлов КПТ: 10" "Из них файлов КВЗУ: 8"
             "Документов неподдерживаемых версий: 1")
  string(FIND "${out}" "${line}" at)
  if(at EQUAL -1)
    string(APPEND failures "no \"${line}\" in the summary\n")
  endif()
endforeach()
string(FIND "${err}" "damaged.zip" at)
if(at EQUAL -1)
  string(APPEND failures "the damaged archive is not named on standard error\n")
endif()
string(FIND "${err}" "egrn_building_50_20_0010339_15.zip [50_20_0010339_15.xml]: не поддерживается: extract_about_property_build" at)
if(at EQUAL -1)
  string(APPEND failures "the extract on a building is not named as unsupported on standard error\n")
endif()

file(GLOB_RECURSE placed RELATIVE "${output}" "${output}/*")
list(SORT placed)
set(expected
  "Без системы координат (05 версия)/66/41/01 01 00 1/2011-04-18/kpt05_66_41_0101001.xml"
  "Без системы координат (05 версия)/66/41/01 01 00 1/2011-04-18/kpt05_66_41_0101001.xml.sig"
  "МСК-50, зона 1/50/20/00 10 33 9/2021-03-15/50_20_0010339_kpt11.xml"
  "МСК-50, зона 1/50/20/00 10 33 9/2021-03-15/50_20_0010339_kpt11.xml.sig"
  "МСК-50, зона 1/50/20/00 10 33 9/5/2012-06-30/50_20_0010339_5.xml"
  "МСК-50, зона 1/50/20/00 10 33 9/5/2012-06-30/50_20_0010339_5.xml.sig"
  "МСК-50, зона 1/50/20/00 10 33 9/6/2014-09-01/50_20_0010339_6.xml"
  "МСК-50, зона 1/50/20/00 10 33 9/6/2014-09-01/50_20_0010339_6.xml.sig"
  "МСК-50, зона 1/50/20/00 10 34 0/2021-03-15/50_20_0010340_kpt11.xml"
  "МСК-50, зона 1/50/20/00 10 34 0/2021-03-15/50_20_0010340_kpt11.xml.sig"
  "МСК-50, зона 1/50/20/00 10 34 0/7/2015-05-20/50_20_0010340_7.xml"
  "МСК-50, зона 1/50/20/00 10 34 0/7/2015-05-20/50_20_0010340_7.xml.sig"
  "МСК-50, зона 2/50/20/00 10 33 8/12/2011-04-05/kvzu07_50_20_0010338_12.xml"
  "МСК-50, зона 2/50/20/00 10 33 8/12/2011-04-05/kvzu07_50_20_0010338_12.xml.sig"
  "МСК-50, зона 2/50/20/00 10 33 8/2017-06-20/kpt10_50_20_0010338.xml"
  "МСК-50, зона 2/50/20/00 10 33 8/2017-06-20/kpt10_50_20_0010338.xml.sig"
  "МСК-50, зона 2/50/20/00 10 33 6/101/2010-03-22/kvzu06_50_20_0010336_101.xml"
  "МСК-50, зона 2/50/20/00 10 33 6/101/2010-03-22/kvzu06_50_20_0010336_101.xml.sig"
  "МСК-50, зона 2/50/20/00 10 33 6/2014-11-10/kpt08_50_20_0010336.xml"
  "МСК-50, зона 2/50/20/00 10 33 6/2014-11-10/kpt08_50_20_0010336.xml.sig"
  "МСК-50, зона 2/50/20/00 10 33 7/2016-05-12/kpt09_50_20_0010337.xml"
  "МСК-50, зона 2/50/20/00 10 33 7/2016-05-12/kpt09_50_20_0010337.xml.sig"
  "МСК-66 зона 1/66/41/01 01 00 1/25/2009-11-05/kvzu05_66_41_0101001_25.xml"
  "МСК-66 зона 1/66/41/01 01 00 1/25/2009-11-05/kvzu05_66_41_0101001_25.xml.sig"
  "МСК-66 зона 1/66/41/01 01 00 2/2012-09-03/kpt06_66_41_0101002.xml"
  "МСК-66 зона 1/66/41/01 01 00 2/2012-09-03/kpt06_66_41_0101002.xml.sig"
  "МСК-66 зона 1/66/41/02 03 00 4/12/2011-12-15/Выписка/Выписка 66-41-0203004-12.xml"
  "МСК-66 зона 1/66/41/02 03 00 4/12/2011-12-15/Выписка/Выписка 66-41-0203004-12.xml.sig"
  "МСК-66 зона 1/66/41/02 03 00 4/2013-02-27/kpt07_66_41_0203004.xml"
  "МСК-66 зона 1/66/41/02 03 00 4/2013-02-27/kpt07_66_41_0203004.xml.sig"
  "МСК-66 зона 1/66/41/03 05 00 1/2015-03-12/KPT08_66_41_0305001.XML"
  "МСК-66 зона 1/66/41/03 05 00 1/2015-03-12/KPT08_66_41_0305001.XML.sig"
  "МСК-66 зона 2/66/41/01 01 00 3/2017-01-23/kpt09_66_41_0101003.xml"
  "МСК-66 зона 2/66/41/01 01 00 3/2017-01-23/kpt09_66_41_0101003.xml.sig"
  "МСК-66 зона 2/66/41/01 01 00 3/2017-01-23/kvzu06_66_41_0101003_7.xml"
  "МСК-66 зона 2/66/41/01 01 00 3/2017-01-23/kvzu06_66_41_0101003_7.xml.sig"
  "МСК-66 зона 2/66/41/01 01 00 3/7/2008-07-01/kpt09_66_41_0101003.xml"
  "МСК-66 зона 2/66/41/01 01 00 3/7/2008-07-01/kpt09_66_41_0101003.xml.sig"
  "МСК-66 зона 2/66/41/01 01 00 3/7/2008-07-01/kvzu06_66_41_0101003_7.xml"
  "МСК-66 зона 2/66/41/01 01 00 3/7/2008-07-01/kvzu06_66_41_0101003_7.xml.sig")
list(SORT expected)
if(NOT placed STREQUAL expected)
  string(REPLACE ";" "\n  " placed_text "${placed}")
  string(APPEND failures "the output tree differs; it holds:\n  ${placed_text}\n")
endif()

# One row per document and per archive without one, after the header. The
# report is read whole: its ";" would split a CMake list.
file(READ "${WORK}/отчёт.csv" report)
string(REGEX MATCHALL "\n" breaks "${report}")
list(LENGTH breaks row_count)
if(NOT row_count EQUAL 24)
  string(APPEND failures "the report has ${row_count} lines, not 24\n")
endif()
foreach(text "Архив;Файл в архиве;Вид;Версия" "Выписка 66-41-0203004-12.xml;КВЗУ;06;66:41:0203004:12;МСК-66 зона 1"
             "не документ реестра" "не поддерживается: extract_about_property_build"
             "response_50_20_0010340.zip › 50_20_0010340_kpt11.xml.sig.zip;50_20_0010340_kpt11.xml.sig;КПТ;"
             "50_20_0010339_kpt11.xml;КПТ;extract_cadastral_plan_territory;50:20:0010339;МСК-50, зона 1")
  string(FIND "${report}" "${text}" at)
  if(at EQUAL -1)
    string(APPEND failures "no \"${text}\" in the report\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}\nstandard output:\n${out}\nstandard error:\n${err}")
endif()
