--TEST--
corvane_drain_held visits no element twice and no deleted one when destructors remove others
--FILE--
<?php
// Removing an element runs its destructor, which removes another element of the same held array
// through the extension: ahead of the walk ("c"), the last one ("e", so the walk's end moves),
// and one already gone ("a").
class Entry {
    public $name;
    public $forgets;
    public function __construct($name, $forgets) {
        $this->name = $name;
        $this->forgets = $forgets;
    }
    public function __destruct() {
        echo "destruct {$this->name}\n";
        if ($this->forgets !== null) {
            $gone = corvane_forget($this->forgets);
            echo "{$this->name} forgot {$this->forgets}: ", $gone ? "true" : "false", "\n";
        }
    }
}
corvane_hold([
    "a" => new Entry("a", "c"),
    "b" => new Entry("b", null),
    "c" => new Entry("c", "e"),
    "d" => new Entry("d", "a"),
    "e" => new Entry("e", null),
]);
var_dump(corvane_drain_held());
var_dump(corvane_held());
?>
--EXPECT--
destruct a
destruct c
destruct e
c forgot e: true
a forgot c: true
destruct b
destruct d
d forgot a: false
array(3) {
  [0]=>
  string(1) "a"
  [1]=>
  string(1) "b"
  [2]=>
  string(1) "d"
}
array(0) {
}
