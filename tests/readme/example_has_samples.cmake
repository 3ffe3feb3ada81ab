# The README's extension samples are the example extension's own code, word for word: the example
# compiles them against a real PHP 7.3 (and runs them in its .phpt tests) wherever one is
# configured, and the first sample also compiles and runs in the consumer_project tests.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/code_blocks.cmake)
code_block("${README}" cpp "ZendArray nested()" sample)
code_block("${README}" cpp "PHP_FUNCTION" wrapper)
require_paragraphs_in("${EXAMPLE}" "${sample}")
require_paragraphs_in("${EXAMPLE}" "${wrapper}" INCLUDES)
