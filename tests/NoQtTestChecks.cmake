# Our test programs run under GoogleTest, where QtTest's checks (QVERIFY,
# QCOMPARE, QTRY_*) report a failure only to QTest's own runner: a failing one
# returns from the test without a word and the test passes. None may appear in
# tests/; wait with ASSERT_TRUE(QTest::qWaitFor(...)) instead.
file(GLOB_RECURSE files "${SRC}/tests/*.cpp" "${SRC}/tests/*.h")
set(found "")
foreach(f IN LISTS files)
  file(STRINGS "${f}" lines REGEX "(QVERIFY|QCOMPARE|QTRY_[A-Z_]+|QFAIL|QEXPECT_FAIL)[ ]*\\(")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH rel "${SRC}" "${f}")
    string(STRIP "${line}" line)
    string(APPEND found "\n  ${rel}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "QtTest checks, which GoogleTest never hears fail:${found}")
endif()
list(LENGTH files count)
if(count LESS 50)
  message(FATAL_ERROR "only ${count} test sources found under ${SRC}/tests")
endif()
