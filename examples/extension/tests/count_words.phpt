--TEST--
corvane_count_words counts every word once per occurrence
--FILE--
<?php
var_dump(corvane_count_words("the cat saw the other cat  the end"));
var_dump(corvane_count_words(""));
$text = str_repeat("a", 3);
corvane_count_words($text);
var_dump($text);
?>
--EXPECT--
array(5) {
  ["the"]=>
  int(3)
  ["cat"]=>
  int(2)
  ["saw"]=>
  int(1)
  ["other"]=>
  int(1)
  ["end"]=>
  int(1)
}
array(0) {
}
string(3) "aaa"
